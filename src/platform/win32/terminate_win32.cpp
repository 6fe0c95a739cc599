// The C++ run-time's default terminate handler writes the demangled name of the exception that
// ended the program to the console; for that, the statically linked libstdc++ brings its whole
// symbol demangler (about 46 KiB) into the DLL. A plug-in inside a host has no console to write
// to, so its terminate handler only aborts, as the default one does after writing. Defining the
// handler here keeps the demangler out of pelta.dll.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() {
  std::abort();
}
}  // namespace __gnu_cxx
