#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QString>

#include "cd/TrackGeometry.h"
#include "core/Settings.h"

/// Extracts one audio track into a 44100 Hz 16-bit stereo WAV at the path the job names,
/// normalises it when the settings ask, and reports to the receiver by posted events:
/// RipFailedEvent 1 (the TOC address form could not be set) or 2 (the TOC could not be read),
/// progress records, 999 when normalisation starts, and 1000 at the end with an
/// ExtractOutcome: success, a read error, the file could not be created (no path, or the
/// folder refused it), a link or special file in its place, a file there in use (locked by
/// another, or read-only), or a write error (full disk, the file or its folder gone;
/// ElapsedText says so). Once reading began, the end record carries a TExtractResult: the
/// track's checksums and the sectors secure reading could not correct.
///
/// A real drive is read through paranoia as the CD options ask, a disc image with plain reads;
/// either way the drive's read offset is applied.
///
/// Created suspended with the settings it needs (normalisation); the job sets the
/// handle and the receiver, then calls Resume(). The worker never reads the settings record. A stop
/// (StopRequested) takes effect after the current read of up to 10 sectors and ends the thread
/// without a completion record, leaving a valid WAV of what was read. Destroying the object
/// waits for the thread; the thread never waits for anyone, so that join cannot deadlock. The
/// receiver must outlive this object.
class TCDRipThread {
public:
    /// outputPath empty: the track has no valid file name and fails as not created.
    TCDRipThread(int32_t discTrack, QString outputPath, const TCommonOptions& options,
                 const TCDOptions& cdOptions = {});
    ~TCDRipThread();
    TCDRipThread(const TCDRipThread&) = delete;
    TCDRipThread& operator=(const TCDRipThread&) = delete;

    void SetDriveHandle(int handle) { handle_ = handle; }
    void SetReceiver(QObject* receiver) { receiver_ = receiver; }
    /// Off only to measure what the checksums cost; the end record then holds none.
    void SetChecksums(bool on) { checksums_ = on; }

    /// Starts the extraction; later calls do nothing.
    void Resume();

    /// Whether the thread has run to its end.
    bool Finished() const { return finished_.load(std::memory_order_acquire); }

    /// Set by the job (UI thread), read by the worker after each read.
    std::atomic<bool> StopRequested{false};

    const int32_t DiscTrack;
    const QString OutputPath;

    static constexpr uint32_t kSectorsPerRead = 10;

private:
    void Execute();
    void Extract(const TrackSpan& span, const DiscPlace& place);
    void Post(std::unique_ptr<QEvent> event);

    // Set before Resume() and read-only afterwards.
    int handle_ = 0;
    QPointer<QObject> receiver_;
    const TCommonOptions options_;
    const TCDOptions cdOptions_;
    bool checksums_ = true;

    std::thread thread_;
    std::atomic<bool> finished_{false};
};
