#pragma once
// The hand-over of serial port notifications to the window's thread through Qt's event loop.
// Create it on the user-interface thread and pass it to every TComPort the window creates; an
// event thread's blocking hand-over (smThreadSync) then runs its handlers from the event loop,
// and the wait of a closing port serves it even while the loop is not running.
#include "serial/ComSync.h"

#include <memory>

class QObject;

class QtComSync : public TQueuedComSync {
public:
    QtComSync();
    ~QtComSync() override;
    QtComSync(const QtComSync&) = delete;
    QtComSync& operator=(const QtComSync&) = delete;

protected:
    // Posts a queued call to the event loop that runs what the event threads handed over.
    void NotifyOwner() override;

private:
    // Lives on the user-interface thread; queued calls die with it.
    std::unique_ptr<QObject> FContext;
};
