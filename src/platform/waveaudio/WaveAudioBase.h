#pragma once

#include <memory>
#include <mutex>

#include <QObject>

#include "platform/waveaudio/WaveAudioDevice.h"
#include "platform/waveaudio/WaveDocument.h"

/// What both wave-audio backends share: the open file as a TWaveDocument, the position, the
/// modes and saving. A backend adds the sound I/O: capture into a take and playback from the
/// document. UI thread, except where a member says otherwise.
class TWaveAudioBase : public IWaveAudioDevice {
public:
    TWaveAudioBase();
    ~TWaveAudioBase() override;

    bool Open(const QString& path) override;
    void SetTimeFormatMilliseconds() override;
    bool Close() override;
    TWaveMode Mode() override;
    int64_t Length() override;
    int64_t Position() override;
    bool Play(std::optional<int64_t> fromMs = std::nullopt) override;
    bool Record(std::optional<int64_t> fromMs = std::nullopt) override;
    bool Stop() override;
    bool Save() override;
    bool SeekToStart() override;
    bool SeekToEnd() override;
    QString ErrorText() const override { return error_; }
    bool HasUnsavedSound() override;

protected:
    /// Starts sending captured sound to take.Append (from any one thread).
    virtual bool StartCapture(const TWaveFormat& format, TTake& take, QString& error) = 0;
    /// Ends the capture; no Append runs after it returns.
    virtual void StopCapture() = 0;
    /// Starts playing the document from byte fromByte.
    virtual bool StartPlayback(const TWaveFormat& format, int64_t fromByte, QString& error) = 0;
    virtual void StopPlayback() = 0;
    /// Byte position the playback has reached.
    virtual int64_t PlaybackPosition() = 0;
    /// True once the playback has played everything.
    virtual bool PlaybackEnded() = 0;
    /// Called first in every request, with its name ("open", "record from 1000", ...).
    virtual void OnRequest(const QString& request) { (void)request; }
    /// A reason to refuse an "open" or "save" although it could be done (test backends).
    virtual QString PlannedRefusal(const char* request)
    {
        (void)request;
        return {};
    }

    /// Any thread: the sound device failed during the capture or the playback. The UI thread
    /// then ends it (keeping the take) and calls OnFailure.
    void ReportFailure(const QString& reason);

    const TWaveDocument& Document() const { return doc_; }
    /// Ends capture and playback; subclasses call it in their destructor.
    void Shutdown();

private:
    void EndCapture();
    void EndPlayback();
    void Halt();
    // Logs the request, ends whatever runs and gives the byte it starts from (the point asked
    // for, else where the last one stopped); none when no file is open.
    std::optional<int64_t> BeginTransport(const char* request, std::optional<int64_t> fromMs);
    bool Fail(const QString& reason);
    void ClearFailure();
    void HandleFailure();
    bool Require(bool open);

    TWaveDocument doc_;
    TWaveMode mode_ = TWaveMode::NotOpen;
    int64_t position_ = 0; // bytes
    int64_t recordFrom_ = 0;
    std::unique_ptr<TTake> take_;
    QString error_;

    std::mutex failureMutex_;
    QString failure_;   // guarded by failureMutex_
    QObject uiContext_; // lives on the UI thread; failure reports are queued to it
};
