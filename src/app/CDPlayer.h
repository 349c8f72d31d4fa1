#pragma once

#include <memory>

#include <QString>

#include "platform/cdaudio/MediaPlayer.h"

class TMainController;

/// The status text shown when the desktop's mixer cannot be started.
inline constexpr const char* kVolumeControlFailedText =
    "Cannot start the volume control (pavucontrol).";

/// What the main window decides about CD playback and the drive door, without widgets: Play,
/// Pause and Stop of a track-list row, the end-of-track notification, Eject and Close CD and the
/// volume control. The flags and status texts it changes are the controller's; it takes over
/// the controller's StopPlayback hook for as long as it lives. UI thread only.
class TCDPlayer {
public:
    /// The CD audio device comes from CreateCdAudio().
    explicit TCDPlayer(TMainController& controller);
    ~TCDPlayer();
    TCDPlayer(const TCDPlayer&) = delete;
    TCDPlayer& operator=(const TCDPlayer&) = delete;

    /// Plays the track of a row, or resumes the paused play of that same row.
    void aPlayExecute(int row);
    void aPauseExecute();
    void aStopExecute();
    /// A notification of the player: the end of the track stops playback.
    void MediaPlayer1Notify();

    void EjectMenuClick();
    void CloseCdRomMenuClick();
    void VolumeControlMenuClick();

    TMediaPlayer& MediaPlayer1() { return *player_; }
    /// The row being played or paused, -1 when nothing plays.
    int PlayingRow() const { return playingRow_; }

private:
    /// Opens the device on the controller's drive and plays the row's track: to the next row's
    /// track, or to the end of the disc from the last row.
    void PlayRow(int row);
    void Changed();

    TMainController& controller_;
    std::unique_ptr<ICdAudio> device_;
    std::unique_ptr<TMediaPlayer> player_;
    int playingRow_ = -1;
};
