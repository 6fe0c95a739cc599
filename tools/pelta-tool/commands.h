// pelta-tool's subcommands; each takes the arguments after its name.
#pragma once

int RunLoad(int argc, char** argv);      // load the plug-in and print what it set up
int RunEit(int argc, char** argv);       // EIT reader over a transport-stream file
int RunMkts(int argc, char** argv);      // transport stream from a text schedule
int RunShow(int argc, char** argv);      // channel-change display -> display.json
int RunCheckIni(int argc, char** argv);  // what the plug-in would use from a settings file
int RunCheckUir(int argc, char** argv);  // what the plug-in would use from a layout file
