#include "core/AppEvents.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

void PostAppEvent(QObject* receiver, std::unique_ptr<QEvent> event)
{
    if (receiver == nullptr || !event)
        return;
    // postEvent takes ownership and deletes the event if the receiver dies before delivery.
    QCoreApplication::postEvent(receiver, event.release());
}

void SendAppEvent(QObject* receiver, std::unique_ptr<QEvent> event)
{
    if (receiver == nullptr || !event)
        return;
    if (receiver->thread() == QThread::currentThread()) {
        QCoreApplication::sendEvent(receiver, event.get());
        return;
    }
    QPointer<QObject> guard(receiver);
    QEvent* raw = event.get();
    QMetaObject::invokeMethod(
        receiver,
        [guard, raw] {
            if (guard)
                QCoreApplication::sendEvent(guard.data(), raw);
        },
        Qt::BlockingQueuedConnection);
    // The event is freed here whether or not it was delivered.
}

std::unique_ptr<QEvent> MakeJobProgress(int32_t percent, const QString& elapsed,
                                        const QString& total, int32_t errorCode)
{
    auto info = std::make_unique<TProcessInfo>();
    info->Percent = percent;
    info->ElapsedText = elapsed;
    info->TotalText = total;
    info->ErrorCode = errorCode;
    return std::make_unique<JobProgressEvent>(std::move(info));
}
