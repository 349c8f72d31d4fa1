#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include <QObject>
#include <QPointer>
#include <QString>

/// Normalises one extracted WAV (NormalizeWavFile) on a thread of its own, so that the drive
/// can read the next track meanwhile. Reports to the receiver by posted events: a progress
/// record whenever the percentage changes, then JobCode::NormalizeEnded with
/// ExtractOutcome::Success, or ExtractOutcome::WriteError and the reason in ElapsedText. A stop
/// (StopRequested) takes effect before the next 2048-byte block and ends the thread without an
/// end record; the WAV is then as the extraction left it. Destroying the object waits for the
/// thread; the thread never waits for anyone. The receiver must outlive this object.
class TNormalizeThread {
public:
    TNormalizeThread(QString path, int32_t percent);
    ~TNormalizeThread();
    TNormalizeThread(const TNormalizeThread&) = delete;
    TNormalizeThread& operator=(const TNormalizeThread&) = delete;

    /// Set before Resume().
    void SetReceiver(QObject* receiver) { receiver_ = receiver; }
    /// Starts the work; later calls do nothing.
    void Resume();

    /// Set by the job (UI thread), read by the worker before each block.
    std::atomic<bool> StopRequested{false};

    const QString Path;

private:
    void Execute();

    const int32_t percent_;
    QPointer<QObject> receiver_;
    std::thread thread_;
};
