#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QObject>
#include <QString>
#include <QStringList>

#include "app/TrackListModel.h"
#include "cd/OpenDrive.h"
#include "core/Settings.h"
#include "pipeline/RipJob.h"

struct TocRecord;
struct TDiscNames;
struct TDiscQuery;
class TMp3EncodeProcess;
class TWMAEncodeProcess;

/// Length and size texts of a track-list row for a track of the given minutes and seconds.
struct TrackTexts {
    QString Length;
    QString Size;
};
TrackTexts TrackRowTexts(int minutes, int seconds);

/// The status text when the output folder cannot be opened; %1 is the reason.
inline constexpr const char* kOpenOutputFailedText = "Cannot open the output directory (%1).";

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
    /// The user's new title for a row: the disc's names count as typed from now on.
    void RenameRow(int row, const QString& title);

    /// The disc fields the window edits in place (the options dialog's tag page edits the
    /// same ones). Edits count as typed names.
    enum class DiscField { Artist, Album, Year };
    void SetDiscField(DiscField field, const QString& value);
    /// A position in the genre list, -1 for none.
    void SetDiscGenre(int position);
    /// The disc fields were edited elsewhere (the options dialog): they count as typed.
    void DiscFieldsEdited();
    /// Where the loaded disc's names came from.
    TNamesSource NamesSource() const;
    /// Whether a disc's names are loaded, so edits have a disc to be saved under.
    bool HasDisc() const { return listLoaded_ && !loadedKey_.isEmpty(); }
    /// The loaded disc as a lookup asks for it (its table of contents read afresh); nothing
    /// when no disc is loaded or the open drive holds another one now.
    std::optional<TDiscQuery> LoadedDiscQuery();

    /// The CDDB command's table-of-contents read: the first and last track numbers, or false
    /// after the error box "Error while reading TOC information!".
    bool ReadTocForCddb(int& first, int& last);
    /// A lookup's result, whichever service gave it: the disc's artist, album, year, genre and
    /// service ids into TCDInfo, the titles into the rows of their tracks (saved at close,
    /// like renamed titles), and the source of the names. Only when the list still belongs to
    /// the disc the lookup was for (discKey, LoadedDiscKey() at its start): a disc that changed
    /// meanwhile gets nothing of another's names. Returns whether the names were applied.
    bool ApplyNames(const TDiscNames& result, const QString& discKey);

    /// The ripping command's checks (drive open, a tick, the output folder, playback stopped)
    /// and the question about files the rip would replace; the job list "01" + title, ... when
    /// the rip may start (less the tracks the user chose to skip), empty otherwise.
    QStringList PrepareRip();
    /// The output-folder test of every job command.
    bool OutputFolderTest();
    /// Opens the output folder on the desktop; says in the status bar when the desktop cannot.
    void OpenOutputDirectory();

    /// The close sequence: runners, titles into the disc information, save it, close the
    /// handle, stop playback, save the settings. Never throws.
    void Close();

    int CDHandle() const { return cdHandle_; }
    /// Replaces the open drive handle, nothing else (tests).
    void SetCDHandle(int handle) { cdHandle_ = handle; }
    /// The options dialog's drive choice: stops playback of the old disc, keeps its names,
    /// closes its handle and puts the opened drive in its place: status, list and watcher all
    /// follow it. A failed open (handle 0) leaves no drive and an empty list.
    void UseDrive(const OpenDriveResult& opened);
    /// The drive start-up opens instead of the one the setting names (the program's argument:
    /// a device, a cdda:// address or a listed image's file); ignored when no listed drive is
    /// that file.
    void SetStartDevice(const QString& path) { startDevice_ = path; }
    /// Where the open drive sits in today's drive list; -1 when none is open.
    int OpenDrivePosition() const;
    /// The key of the disc the track list was loaded for; empty when no list is loaded or the
    /// disc has no audio track. The names are saved under this key only, when the list is
    /// replaced or emptied and at close.
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
    /// The open drive changed: a start without one found one (Refresh, an arrival), or the
    /// options dialog switched drives (handle 0 when that open failed).
    void DriveOpened(int handle);
    /// The list was filled from a disc (it may be empty when the TOC could not be read).
    void ListLoaded();
    /// Flags that decide the commands' enabling changed.
    void StateChanged();
    /// The disc's names, or where they came from, changed (another disc, a lookup, an edit).
    void NamesChanged();

private:
    /// Opens the drive the settings name (the first when none is named or it has left the
    /// list), as start-up does: the handle, the status text and the saved status text.
    void OpenStartDrive();
    /// Whether the open drive still holds the disc of key.
    bool OpenDriveHolds(const QString& key);
    /// Whether the open drive holds a disc with an audio track.
    bool OpenDriveHasAudio();
    /// The list's titles into TCDInfo, and TCDInfo into cdinfo.dat under the loaded disc's key;
    /// nothing when no list is loaded.
    void SaveListNames();
    /// Empties the list after saving its names: the disc's names outlive its leaving.
    void ForgetList();
    void MarkTyped();

    TTrackListModel tracks_;
    std::unique_ptr<TMp3EncodeProcess> mp3_;
    std::unique_ptr<TWMAEncodeProcess> wma_;
    int cdHandle_ = 0;
    QString startDevice_;
    QString loadedKey_;
    bool listLoaded_ = false; ///< a TOC was read into the list; its names may be saved
    bool noAudioCD_ = false;
    bool activated_ = false;
    QString status_;
    QString savedStatus_;
    int firstTrack_ = 0;
    int lastTrack_ = 0;
};
