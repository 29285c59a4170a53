#pragma once
// A request to end the program from outside, turned into something the user-interface thread
// acts on, so the program then closes its window the ordinary way: the data log closed, the
// ports closed, the window section saved.
//   Linux: SIGTERM (the desktop session ending, a shutdown, a UPS, `kill`).
//   Windows: the session ending (WM_QUERYENDSESSION / WM_ENDSESSION: log-off, shutdown) and, when
//   the program has a console, its close, Ctrl+C, log-off and shutdown events.
// Each system has its own function; the window's side that watches it is chosen in CMake too
// (app/TerminationWatch.h).
#include <functional>

namespace platform {

// Linux: catches SIGTERM from now on. Each signal makes one byte readable on the returned
// descriptor (non-blocking, owned by the caller); reading it acknowledges the request. With a hard
// limit, the first signal also sets an alarm that ends the process that many seconds later, should
// the orderly close hang (a stuck device, a hung network share).
// Throws std::system_error when the pipe or the handler cannot be set up.
int CatchTerminationRequest(unsigned hardLimitSeconds = 0);

// Windows: catches the end of the session and the console's close from now on. `onRequest` runs
// on the calling thread (the user-interface thread, whose message loop must run), and before the
// system goes on ending the session: when it returns, the program may be ended at any moment, so
// the request must close what it closes before it returns. (Windows itself ends a program that
// holds up the end of the session; no limit of our own is needed.)
// Throws std::system_error when the hidden window that receives the session's messages cannot
// be made.
void CatchSessionEnd(std::function<void()> onRequest);

} // namespace platform
