// The library's entry points, its load and unload, and the state they own.
//
// The host drives the plug-in through seven exported functions (undecorated, cdecl); the
// operating system loads and unloads it through DllMain. On Linux tests and pelta-tool call
// DllMain themselves, so the load step resets every module-level value of the plug-in.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "display/channel.h"
#include "platform/os.h"

constexpr size_t kPathMax = 256;

extern char ModuleDir[kPathMax];
extern char IniPath[kPathMax];
extern char IconDir[kPathMax];
extern char UirPath[kPathMax];
extern std::atomic<int> pnlDisplay;
extern std::atomic<int> pnlSettings;
extern std::atomic<int> pnlAbout;
extern std::atomic<int> pnlGuide;
extern HWND OsdWnd;
extern HMODULE hUser32;
extern PeltaSetLayeredFn m_pSetLayeredWindowAttributes;
extern UINT TimerId;

extern "C" {
void PELTA_CDECL On_Start(HINSTANCE MDInstance, HWND MDWnd, BOOL Log_Set, int DLL_ID,
                          char* My_Hot_Key, char* Api_Version, int* Res);
void PELTA_CDECL On_Exit(HINSTANCE MDInstance, HWND MDWnd, BOOL Log_Set);
void PELTA_CDECL On_Channel_Change(TProgram82 chan);  // display/osd.cpp
void PELTA_CDECL On_Menu_Select(UINT MenuID);
void PELTA_CDECL On_Hot_Key();
void PELTA_CDECL On_Filter_Close(UINT FilterOffset);
void PELTA_CDECL On_Send_Dll_ID_Name(char* Name);
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
BOOL WINAPI DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID reserved);
}

constexpr UINT kMenuSettings = 44454;
constexpr UINT kMenuAbout = 44455;
constexpr UINT kMenuGuide = 44456;
extern const char kVersionLabel[];  // "Pelta 2_0"

// Places a top-level window found by its exact caption: always on top, shown.
void PlaceWindowByCaption(const char* caption, int x, int y, int width, int height);
