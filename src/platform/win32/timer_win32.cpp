// The display timer on Windows: a multimedia timer whose ticks run on the host's UI thread.
//
// timeSetEvent calls back on a winmm worker thread. Running the display tick there would put
// every panel call of the plug-in on a second thread, so the callback only posts a message to a
// hidden message-only window made here, on the thread that loads the library (the host's UI
// thread); the tick itself runs in that window's procedure. Ticks do not pile up: while one is
// queued the callback posts nothing, so a busy host thread delays ticks instead of receiving a
// burst of them afterwards. A tick that is running does not hold the next one back: the tick
// procedure (the display's TimerProc) drops a tick dispatched by its own message pumping, and
// runs those of a dialog's loop entered inside it.
//
// StopDisplayTimer kills the timer first and then destroys the window, so no tick runs after it
// returns. It is called from DllMain: nothing here joins a thread. The timer is made with
// TIME_KILL_SYNCHRONOUS, so timeKillEvent returns only once a callback already under way (a
// PostMessage, which never needs the loader lock) has left this library's code, which may be
// unmapped right after the unload.
#include <atomic>

#include "platform/timer.h"

namespace {

constexpr UINT kTickMessage = WM_APP + 0x50;
constexpr char kTickClass[] = "PeltaTickWindow";

HWND g_tick_window = nullptr;
LPTIMECALLBACK g_proc = nullptr;
std::atomic<bool> g_tick_pending{false};
std::atomic<HWND> g_post_target{nullptr};

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&ThisModule), &module);
  return module;
}

LRESULT CALLBACK TickWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kTickMessage) {
    // Cleared before the tick: a tick may run a modal loop (a dialog the host's menu command
    // opened while the tick pumped messages), and the ticks of that loop must be posted. The
    // tick procedure itself drops a tick that arrives in its own message pumping.
    g_tick_pending = false;
    LPTIMECALLBACK proc = g_proc;
    if (proc != nullptr) proc(static_cast<UINT>(wparam), 0, 0, 0, 0);
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

// winmm's thread: post, nothing else.
void CALLBACK TimerThunk(UINT id, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
  HWND target = g_post_target.load();
  if (target == nullptr || g_tick_pending.exchange(true)) return;
  if (!PostMessageA(target, kTickMessage, id, 0)) g_tick_pending = false;
}

}  // namespace

UINT StartDisplayTimer(UINT period_ms, UINT resolution_ms, LPTIMECALLBACK proc) {
  if (period_ms == 0 || proc == nullptr) return 0;  // winmm refuses a period of 0 as well
  if (g_tick_window != nullptr) return 0;           // one display timer per library
  HINSTANCE module = ThisModule();
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = &TickWindowProc;
  window_class.hInstance = module;
  window_class.lpszClassName = kTickClass;
  RegisterClassA(&window_class);  // fails harmlessly when already registered
  g_tick_window =
      CreateWindowExA(0, kTickClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, nullptr);
  if (g_tick_window == nullptr) return 0;
  g_proc = proc;
  g_tick_pending = false;
  g_post_target = g_tick_window;
  UINT id = timeSetEvent(period_ms, resolution_ms, &TimerThunk, 0,
                         TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
  if (id == 0) StopDisplayTimer(0);
  return id;
}

void StopDisplayTimer(UINT id) {
  if (id != 0) timeKillEvent(id);
  g_post_target = nullptr;
  HWND window = g_tick_window;
  g_tick_window = nullptr;
  if (window != nullptr) {
    DWORD owner = GetWindowThreadProcessId(window, nullptr);
    if (owner == GetCurrentThreadId()) {
      DestroyWindow(window);  // removes its queued tick messages with it
    } else {
      // Unloaded from another thread: a window can only be destroyed by its own thread, and
      // its procedure is about to be unmapped. Hand it to the system's procedure, which
      // destroys it when the owning thread next reads its queue.
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcA));
      PostMessageA(window, WM_CLOSE, 0, 0);
    }
  }
  g_proc = nullptr;
  UnregisterClassA(kTickClass, ThisModule());
}

void AbandonDisplayTimer() {
  // timeKillEvent of a TIME_KILL_SYNCHRONOUS timer waits for winmm's thread, which process exit
  // has already ended; the window goes with the process.
  g_post_target = nullptr;
  g_proc = nullptr;
  g_tick_window = nullptr;
}
