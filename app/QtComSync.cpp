#include "app/QtComSync.h"

#include <QMetaObject>
#include <QObject>

QtComSync::QtComSync() : FContext(std::make_unique<QObject>()) {}

QtComSync::~QtComSync() = default;

void QtComSync::NotifyOwner() {
    // Thread-safe: posts an event to FContext's thread. A call already served by the closing
    // port's wait makes this one find the queue empty, which is harmless.
    QMetaObject::invokeMethod(
        FContext.get(), [this] { ProcessPending(); }, Qt::QueuedConnection);
}
