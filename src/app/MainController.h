#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QString>
#include <QStringList>

#include "app/TrackListModel.h"
#include "pipeline/RipJob.h"

struct TocRecord;
struct TCddbResult;
class TMp3EncodeProcess;
class TWMAEncodeProcess;

/// Length and size texts of a track-list row for a track of the given minutes and seconds.
struct TrackTexts {
    QString Length;
    QString Size;
};
TrackTexts TrackRowTexts(int minutes, int seconds);

/// What the main window decides, without widgets: start-up, the track list, the commands'
/// checks and the close sequence. Lives on the UI thread. The window (or a test) supplies the
/// few things that need widgets through the hooks below.
class TMainController : public QObject {
    Q_OBJECT
public:
    explicit TMainController(QObject* parent = nullptr);
    ~TMainController() override;

    /// Shows the no-device window modally.
    std::function<void()> ShowNoDeviceHint;
    /// Stops CD playback (filled by the playback feature; nothing plays until then).
    std::function<void()> StopPlayback;

    // Start-up, in order.
    void Create();
    void Show();
    /// The first activation after showing; later calls do nothing.
    void Activate();

    void LoadTrackList();
    void Refresh();
    void VolumeArrived();
    void VolumeRemoved();

    void SelectAll() { tracks_.SetAllTicked(true); }
    void SelectNone() { tracks_.SetAllTicked(false); }
    void ToggleTick(int row);
    void RenameRow(int row, const QString& title);

    /// The CDDB command's table-of-contents read: the first and last track numbers, or false
    /// after the error box "Error while reading TOC information!".
    bool ReadTocForCddb(int& first, int& last);
    /// A lookup's result: the disc's artist, album, year and genre into TCDInfo, the titles
    /// into the rows of their tracks (saved at close, like renamed titles). Only when the list
    /// still belongs to the disc the lookup was for (discKey, LoadedDiscKey() at its start):
    /// a disc that changed meanwhile gets nothing of another's names.
    void ApplyCddbResult(const TCddbResult& result, const QString& discKey);

    /// The ripping command's checks (drive open, a tick, the output folder, playback stopped)
    /// and the question about files the rip would replace; the job list "01" + title, ... when
    /// the rip may start (less the tracks the user chose to skip), empty otherwise.
    QStringList PrepareRip();
    /// The output-folder test of every job command.
    bool OutputFolderTest();
    void OpenOutputDirectory();

    /// The close sequence: runners, titles into the disc information, save it, close the
    /// handle, stop playback, save the settings. Never throws.
    void Close();

    int CDHandle() const { return cdHandle_; }
    /// Replaces the open drive (the options dialog's drive choice).
    void SetCDHandle(int handle) { cdHandle_ = handle; }
    /// The key of the disc the track list was loaded for; empty when no list is loaded or the
    /// disc has no audio track. The close saves the names under this key only.
    const QString& LoadedDiscKey() const { return loadedKey_; }
    /// The status text playback restores when it stops: the open drive's name.
    void SetSavedStatusText(const QString& text) { savedStatus_ = text; }
    bool NoAudioCD() const { return noAudioCD_; }
    bool CDPlaying = false;
    bool CDPaused = false;

    const QString& StatusText() const { return status_; }
    void SetStatusText(const QString& text);
    const QString& SavedStatusText() const { return savedStatus_; }

    TTrackListModel& Tracks() { return tracks_; }
    /// The encoder runners every job reuses (created by Create).
    TJobRunners Runners() const { return {mp3_.get(), wma_.get()}; }
    /// First and last track numbers of the last table of contents read (0, 0 before).
    int FirstTrack() const { return firstTrack_; }
    int LastTrack() const { return lastTrack_; }

Q_SIGNALS:
    void StatusTextChanged(const QString& text);
    /// A drive was opened where none was (Refresh or an arrival after a start without one).
    void DriveOpened(int handle);
    /// Flags that decide the commands' enabling changed.
    void StateChanged();

private:
    /// Opens drive 0 as start-up does: the handle, the status text and the saved status text.
    void OpenFirstDrive();
    /// Whether the open drive still holds the disc of key.
    bool OpenDriveHolds(const QString& key);
    void ForgetList();

    TTrackListModel tracks_;
    std::unique_ptr<TMp3EncodeProcess> mp3_;
    std::unique_ptr<TWMAEncodeProcess> wma_;
    int cdHandle_ = 0;
    QString loadedKey_;
    bool listLoaded_ = false; ///< a TOC was read into the list; its names may be saved
    bool noAudioCD_ = false;
    bool activated_ = false;
    QString status_;
    QString savedStatus_;
    int firstTrack_ = 0;
    int lastTrack_ = 0;
};
