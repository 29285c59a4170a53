#pragma once
// The window's side of a request to end the program from outside (platform/TerminationRequest.h):
// `onRequest` runs on the user-interface thread for each request. One source file per system
// (termination_posix.cpp: SIGTERM through a descriptor the event loop watches;
// termination_win32.cpp: the end of the session and the console's close), chosen in CMake.
#include <QObject>

#include <functional>

// Watches from now on, for as long as `context` lives. Throws std::system_error when the
// system's means cannot be set up.
void WatchTerminationRequest(QObject* context, std::function<void()> onRequest);
