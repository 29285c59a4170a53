// The end of the Windows session and the console's close events, handed to the user-interface
// thread. The session's messages go to every top-level window: a hidden one of ours receives them
// on the thread that made it and runs the request before answering, since the process may be
// ended as soon as WM_ENDSESSION has been answered. A console event arrives on a thread of its
// own; it posts the request to the window and waits (the system ends the process when the
// handler returns).
#include "platform/TerminationRequest.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <system_error>

namespace platform {
namespace {

constexpr UINT WM_CONSOLE_REQUEST = WM_APP + 1;
constexpr DWORD ConsoleWaitMs = 20000; // the system allows a console handler about this long

std::function<void()> gOnRequest;
HWND gWindow = nullptr;
HANDLE gHandled = nullptr; // set when a console request has been run
bool gRan = false;         // the session's end runs the request once

void RunOnce() {
    if (gRan) return;
    gRan = true;
    if (gOnRequest) gOnRequest();
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_QUERYENDSESSION:
        return TRUE; // the program never holds up the end of the session
    case WM_ENDSESSION:
        if (wParam) RunOnce();
        return 0;
    case WM_CONSOLE_REQUEST:
        RunOnce();
        ::SetEvent(gHandled);
        return 0;
    case WM_CLOSE:
        return 0; // a close sent to every window of the process reaches the main window itself
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

BOOL WINAPI ConsoleHandler(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        if (::PostMessageW(gWindow, WM_CONSOLE_REQUEST, 0, 0)) ::WaitForSingleObject(gHandled, ConsoleWaitMs);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void CatchSessionEnd(std::function<void()> onRequest) {
    gOnRequest = std::move(onRequest);
    if (gWindow) return;
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"RegulatorSessionEnd";
    if (!::RegisterClassW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "RegisterClass");
    // A top-level window that is never shown: only top-level windows hear the session end.
    gWindow = ::CreateWindowExW(0, wc.lpszClassName, L"Regulace teploty", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                instance, nullptr);
    if (!gWindow) throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "CreateWindow");
    gHandled = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(ConsoleHandler, TRUE);
}

} // namespace platform
