#include "app/TerminationWatch.h"

#include "platform/TerminationRequest.h"

void WatchTerminationRequest(QObject* /*context*/, unsigned /*hardLimitSeconds*/, std::function<void()> onRequest) {
    // The request runs straight from the session's message on this thread: the system may end
    // the process as soon as it returns, so it cannot wait for a later turn of the event loop.
    platform::CatchSessionEnd(std::move(onRequest));
}
