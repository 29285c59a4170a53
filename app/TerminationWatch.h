#pragma once
// The window's side of a request to end the program from outside (platform/TerminationRequest.h):
// `onRequest` runs on the user-interface thread for each request. One source file per system
// (termination_posix.cpp: SIGTERM through a descriptor the event loop watches;
// termination_win32.cpp: the end of the session and the console's close), chosen in CMake.
#include <QObject>

#include <functional>

// Watches from now on, for as long as `context` lives. Linux: the process also ends
// `hardLimitSeconds` after the first request, should the orderly close hang (Windows ends a
// program that holds up the end of the session by itself). Throws std::system_error when the
// system's means cannot be set up.
void WatchTerminationRequest(QObject* context, unsigned hardLimitSeconds, std::function<void()> onRequest);
