// pelta-tool: runs the plug-in's own code on the simulated desktop (see README).
#include <cstdio>
#include <cstring>

#include "commands.h"

namespace {
struct Command {
  const char* name;
  int (*run)(int, char**);
  const char* usage;
};
const Command kCommands[] = {
    {"load", &RunLoad, "load [--ini F] [--uir F]: load the plug-in, print what it set up"},
    {"eit", &RunEit,
     "eit FILE.ts --sid N [--guide-format F] [--hour-offset H] [--block-packets K] | --list"},
    {"mkts", &RunMkts, "mkts SCHEDULE --out F.ts"},
    {"show", &RunShow, "show [options] --out DIR: channel change on a simulated desktop"},
    {"check-ini", &RunCheckIni, "check-ini FILE"},
    {"check-uir", &RunCheckUir, "check-uir FILE"},
};

int Usage() {
  std::fprintf(stderr, "usage: pelta-tool COMMAND ...\n");
  for (const Command& c : kCommands) std::fprintf(stderr, "  %s\n", c.usage);
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
  }
  return Usage();
}
