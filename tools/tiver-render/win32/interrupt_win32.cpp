#include <windows.h>

#include <atomic>

#include "tools/tiver-render/interrupt.h"

namespace {

std::atomic<bool> g_interrupted{false};

BOOL WINAPI on_console_event(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    g_interrupted.store(true);
    // A closing console ends the process when this returns: give the render loop a moment
    // to remove its partial output first.
    if (event == CTRL_CLOSE_EVENT) Sleep(2000);
    return TRUE;
}

}  // namespace

void catch_interrupts() { SetConsoleCtrlHandler(on_console_event, TRUE); }

bool interrupted() { return g_interrupted.load(); }
