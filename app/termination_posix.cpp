#include "app/TerminationWatch.h"

#include "platform/TerminationRequest.h"

#include <QSocketNotifier>

#include <unistd.h>

void WatchTerminationRequest(QObject* context, unsigned hardLimitSeconds, std::function<void()> onRequest) {
    auto* notifier =
        new QSocketNotifier(platform::CatchTerminationRequest(hardLimitSeconds), QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context,
                     [onRequest = std::move(onRequest)](QSocketDescriptor fd) {
                         char byte = 0;
                         while (::read(int(fd), &byte, 1) > 0) {
                         }
                         onRequest();
                     });
}
