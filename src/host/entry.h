// The library's entry points, its load and unload, and the state they own.
//
// The host drives the plug-in through seven exported functions (undecorated, cdecl); the
// operating system loads and unloads it through DllMain. On Linux tests and pelta-tool call
// DllMain themselves, so the load step resets every module-level value of the plug-in.
#pragma once

#include <cstdint>

#include "display/osd.h"
#include "platform/os.h"
#include "shared/channel.h"
#include "shared/state.h"

extern HMODULE hUser32;
extern PeltaSetLayeredFn m_pSetLayeredWindowAttributes;
extern UINT TimerId;

extern "C" {
void PELTA_CDECL On_Start(HINSTANCE MDInstance, HWND MDWnd, BOOL Log_Set, int DLL_ID,
                          char* My_Hot_Key, char* Api_Version, int* Res);
void PELTA_CDECL On_Exit(HINSTANCE MDInstance, HWND MDWnd, BOOL Log_Set);
// On_Channel_Change: display/osd.h
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
