#include "app/CDPlayer.h"

#include "app/MainController.h"
#include "core/ErrorHandler.h"
#include "platform/shell/Shell.h"

TCDPlayer::TCDPlayer(TMainController& controller)
    : controller_(controller), device_(CreateCdAudio()),
      player_(std::make_unique<TMediaPlayer>(*device_))
{
    player_->OnNotify = [this] { MediaPlayer1Notify(); };
    controller_.StopPlayback = [this] { aStopExecute(); };
}

TCDPlayer::~TCDPlayer()
{
    controller_.StopPlayback = nullptr;
    player_->OnNotify = nullptr;
    SwallowErrors([this] { player_->Close(); });
    player_.reset();
    device_.reset();
}

void TCDPlayer::Changed()
{
    Q_EMIT controller_.StateChanged();
}

void TCDPlayer::PlayRow(int row)
{
    const TTrackListModel& tracks = controller_.Tracks();
    player_->DeviceType = TMediaPlayer::TMPDeviceTypes::dtCDAudio;
    player_->DriveHandle = controller_.CDHandle();
    player_->Open();
    // Rows carry the disc's own track numbers, which need not start at 1.
    player_->SetStartPos(player_->TrackPosition(tracks.Row(row).Number));
    if (row + 1 < tracks.Count())
        player_->SetEndPos(player_->TrackPosition(tracks.Row(row + 1).Number));
    player_->Play();
    playingRow_ = row;
}

void TCDPlayer::aPlayExecute(int row)
{
    if (row < 0 || row >= controller_.Tracks().Count())
        return;
    controller_.SetStatusText(QStringLiteral("Play ") + controller_.Tracks().Row(row).Title);
    const bool stopEnabled = controller_.CDPlaying;
    const bool pauseEnabled = controller_.CDPlaying && !controller_.CDPaused;
    controller_.CDPlaying = true;
    controller_.CDPaused = false;
    bool noSound = false;
    const bool started = SwallowErrors([&] {
        try {
            // A paused play continues only for its own row; another row starts its own track.
            if (!stopEnabled || pauseEnabled || row != playingRow_) {
                if (stopEnabled)
                    player_->Close();
                PlayRow(row);
            } else {
                player_->Resume();
            }
        } catch (const EMCIDeviceError& e) {
            noSound = e.text() == CdAudioErrorText(CdAudioError::NoOutputDevice);
            throw;
        }
    });
    // Nothing plays after a failed start, so nothing may claim to; a missing sound server or
    // device is said, as nothing else would tell the user why nothing is heard.
    if (!started) {
        aStopExecute();
        if (noSound)
            controller_.SetStatusText(CdAudioErrorText(CdAudioError::NoOutputDevice));
    } else {
        Changed();
    }
}

void TCDPlayer::aPauseExecute()
{
    controller_.CDPaused = true;
    SwallowErrors([this] { player_->Pause(); });
    Changed();
}

void TCDPlayer::aStopExecute()
{
    controller_.CDPlaying = false;
    controller_.CDPaused = false;
    playingRow_ = -1;
    // Stop raises when no device is open, which skips the close; error codes are ignored.
    SwallowErrors([this] {
        player_->Stop();
        player_->Close();
    });
    controller_.SetStatusText(controller_.SavedStatusText());
    Changed();
}

void TCDPlayer::MediaPlayer1Notify()
{
    switch (player_->NotifyValue()) {
    case TMPNotifyValues::nvSuccessful:
        aStopExecute();
        break;
    case TMPNotifyValues::nvFailure:
        // The play could not go on (drive or image gone, sound output lost). A lost sound
        // output is said: the drive's name alone would read as if the play had ended.
        if (controller_.CDPlaying) {
            aStopExecute();
            const QString why = device_->SoundFailure();
            if (!why.isEmpty())
                controller_.SetStatusText(why);
        }
        break;
    case TMPNotifyValues::nvSuperseded:
    case TMPNotifyValues::nvAborted:
        break;
    }
}

void TCDPlayer::EjectMenuClick()
{
    device_->SetDoor(controller_.CDHandle(), true);
}

void TCDPlayer::CloseCdRomMenuClick()
{
    device_->SetDoor(controller_.CDHandle(), false);
}

void TCDPlayer::VolumeControlMenuClick()
{
    if (!ShellStartDetached(QStringLiteral("pavucontrol"), {QStringLiteral("--tab=1")}))
        controller_.SetStatusText(QString::fromLatin1(kVolumeControlFailedText));
}
