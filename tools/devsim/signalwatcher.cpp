#include "signalwatcher.h"

#include <QCoreApplication>
#include <QPointer>

#include <thread>

bool SignalWatcher::isWatching() const
{
    return m_watching;
}

void SignalWatcher::watchInputEnd()
{
    // A blocking read has no portable event-loop notifier (pipes on Windows have none); the thread
    // is left to the process's end, blocked in the read, if the simulator ends otherwise.
    const QPointer<SignalWatcher> self(this);
    std::thread([self] {
        readInputToEnd();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self] {
                if (self) {
                    emit self->received(0);
                }
            },
            Qt::QueuedConnection);
    }).detach();
}
