#pragma once
// A request to end the program from outside (SIGTERM: the desktop session ending, a shutdown, `kill`),
// turned into something the user-interface thread can wait for, so the program then closes its
// window the ordinary way: the data log closed, the ports closed, the window section saved.

namespace platform {

// Catches SIGTERM from now on. Each signal makes one byte readable on the returned descriptor
// (non-blocking, owned by the caller); reading it acknowledges the request. With a hard limit,
// the first signal also sets an alarm that ends the process that many seconds later, should the
// orderly close hang (a stuck device, a hung network share).
// Throws std::system_error when the pipe or the handler cannot be set up.
int CatchTerminationRequest(unsigned hardLimitSeconds = 0);

} // namespace platform
