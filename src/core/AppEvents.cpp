#include "core/AppEvents.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include "core/ThreadHandoff.h"

void PostAppEvent(QObject* receiver, std::unique_ptr<QEvent> event)
{
    if (receiver == nullptr || !event)
        return;
    // postEvent takes ownership and deletes the event if the receiver dies before delivery.
    HandoffRelease(event.get());
    QCoreApplication::postEvent(receiver, event.release());
}

void SendAppEvent(QObject* receiver, std::unique_ptr<QEvent> event, TCancelToken* cancel)
{
    if (receiver == nullptr || !event)
        return;
    HandoffRelease(event.get());
    QPointer<QObject> guard(receiver);
    // Shared with the queued call, which may outlive this one after a cancel.
    std::shared_ptr<QEvent> shared(std::move(event));
    InvokeBlocking(
        receiver,
        [guard, shared] {
            if (guard)
                QCoreApplication::sendEvent(guard.data(), shared.get());
        },
        cancel);
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
