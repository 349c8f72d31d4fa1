#pragma once

#include <memory>

#include <QEvent>
#include <QObject>

#include "core/ProcessInfo.h"

/// Window message numbers of the program (first user message 1024 plus an offset).
inline constexpr int WM_RIPFAILED = 1125;
inline constexpr int WM_JOBPROGRESS = 1126;
inline constexpr int WM_CDDBSTATE = 1128;

/// WM_RIPFAILED: the extraction thread could not set up the drive (code 1) or read the TOC (2).
class RipFailedEvent : public QEvent {
public:
    explicit RipFailedEvent(int code) : QEvent(static_cast<QEvent::Type>(WM_RIPFAILED)), Code(code)
    {
    }
    const int Code;
};

/// WM_JOBPROGRESS: carries a report record; the event owns it, so nothing leaks when the
/// receiver is gone before the event is delivered.
class JobProgressEvent : public QEvent {
public:
    explicit JobProgressEvent(std::unique_ptr<TProcessInfo> info)
        : QEvent(static_cast<QEvent::Type>(WM_JOBPROGRESS)), Info(std::move(info))
    {
    }
    std::unique_ptr<TProcessInfo> Info;
};

/// WM_CDDBSTATE: a state number of the CDDB worker.
class CddbStateEvent : public QEvent {
public:
    explicit CddbStateEvent(int state)
        : QEvent(static_cast<QEvent::Type>(WM_CDDBSTATE)), State(state)
    {
    }
    const int State;
};

/// Queues the event for the receiver's thread (the "post" of a window message). Safe from any
/// thread; the event is dropped if the receiver is null.
void PostAppEvent(QObject* receiver, std::unique_ptr<QEvent> event);

/// Delivers the event and returns after the receiver's thread has handled it (the "send" of a
/// window message). From the receiver's own thread this is a direct call. The caller must not
/// be waited for by the receiver's thread unless it passes a token that thread cancels first.
void SendAppEvent(QObject* receiver, std::unique_ptr<QEvent> event,
                  class TCancelToken* cancel = nullptr);

/// Builds a JobProgressEvent for a record.
std::unique_ptr<QEvent> MakeJobProgress(int32_t percent, const QString& elapsed = {},
                                        const QString& total = {}, int32_t errorCode = 0);
