#pragma once

#include <functional>
#include <optional>

#include <QPointer>
#include <QStringList>

#include "platform/cdaudio/CdAudio.h"

/// The CD audio device for tests: no sound and no drive. It keeps the modes and the pending
/// notification the way the real device does (a new play or resume supersedes it, a stop or
/// close aborts it, both posted), records every request as a line of text, and lets the test
/// end the current play with the notification of its choice.
class TTestCdAudio : public ICdAudio {
public:
    /// Requests in order: "Open 3", "TimeFormat 10", "TrackPosition 2",
    /// "Play 2:0:0:0-3:0:0:0" ("-" for a position not sent), "Pause", "Resume", "Stop", "Close",
    /// "Door open 3", "Door closed 3".
    QStringList Requests;
    /// Tracks the disc has, for TrackPosition.
    int FirstTrack = 1;
    int LastTrack = 99;
    /// The error a request ("Open", "Play", "Resume", ...) is to fail with; none by default.
    std::function<int(const QString& request)> FailWith;

    /// Ends the current play: its receiver gets `result` at once, and SoundFailure() gives
    /// soundFailure. False when none is pending.
    bool Finish(TMPNotifyValues result, const QString& soundFailure = QString());
    QObject* PendingNotify() const { return pending_.data(); }

    int Open(int driveHandle) override;
    int Close() override;
    int SetTimeFormat(int format) override;
    int TrackPosition(int track, uint32_t& position) override;
    int Play(std::optional<uint32_t> from, std::optional<uint32_t> to, QObject* notify) override;
    int Pause() override;
    int Resume(QObject* notify) override;
    int Stop() override;
    TCdAudioMode Mode() const override { return mode_; }
    int SetDoor(int driveHandle, bool open) override;
    QString SoundFailure() const override { return soundFailure_; }

private:
    int Failure(const QString& request) const { return FailWith ? FailWith(request) : 0; }
    void EndPending(TMPNotifyValues why);

    TCdAudioMode mode_ = TCdAudioMode::NotOpen;
    QPointer<QObject> pending_;
    QString soundFailure_;
};

/// Makes CreateCdAudio return test devices while it lives; Last() is the newest one made.
class TestCdAudioScope {
public:
    TestCdAudioScope();
    ~TestCdAudioScope();
    TestCdAudioScope(const TestCdAudioScope&) = delete;
    TestCdAudioScope& operator=(const TestCdAudioScope&) = delete;
    TTestCdAudio* Last() const { return last_; }

private:
    TTestCdAudio* last_ = nullptr;
};
