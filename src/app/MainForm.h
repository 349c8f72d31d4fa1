#pragma once

#include <functional>
#include <memory>

#include <QMainWindow>
#include <QStringList>

#include "app/CDPlayer.h"
#include "app/MainController.h"

/// The status text when the manual cannot be opened; %1 is the reason.
inline constexpr const char* kHelpFailedText = "Cannot open the help file (%1).";

class DriveWatcher;
class IWaveAudioDevice;
class TDiscHeader;
class TDiscLookupRunner;
class TResultBar;
class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QToolBar;
class QTreeView;

/// The main window: menus, toolbar, the checkable track list and the status bar over a
/// TMainController that makes every decision.
class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    TMainController& Controller() { return controller_; }
    /// The MusicBrainz lookups of the loaded disc, the automatic one and the command's.
    TDiscLookupRunner& Names() { return *names_; }

    /// Runs a conversion job modally: (job kind, CD handle, list of strings).
    std::function<void(int kind, int handle, const QStringList& list)> RunJob;
    /// Makes the recorder's wave-audio device (null: the sound card's).
    std::function<std::unique_ptr<IWaveAudioDevice>()> MakeWaveAudio;
    /// Opens the rename dialog on a title; returns false when cancelled.
    std::function<bool(QString& title)> EditTrackName;

    // Commands, named as the design names them (tests trigger them directly).
    QAction* ActionExtract = nullptr;
    QAction* ActionWavToMp3 = nullptr;
    QAction* mnuMp3ToWav = nullptr;
    QAction* miWAVtoOGG = nullptr;
    QAction* miWAVtoWMA = nullptr;
    QAction* Openoutputdirectory1 = nullptr;
    QAction* bRefresh = nullptr;
    QAction* EjectMenu = nullptr;
    QAction* CloseCdRomMenu = nullptr;
    QAction* ActionExit = nullptr;
    QAction* ActionRecord = nullptr;
    QAction* aPlay = nullptr;
    QAction* aPause = nullptr;
    QAction* aStop = nullptr;
    QAction* VolumeControlMenu = nullptr;
    QAction* miRealOnePlayer = nullptr;
    QAction* miWindowsMediaPlayer = nullptr;
    QAction* ActionSelectAll = nullptr;
    QAction* ActionNoSelect = nullptr;
    QAction* aQueryCDDB = nullptr;
    QAction* aQueryMusicBrainz = nullptr;
    QAction* aEditTrackName = nullptr;
    QAction* aID3Edit = nullptr;
    QAction* ActionOptionSet = nullptr;
    QAction* mnuHelp = nullptr;
    QAction* mnuAbout = nullptr;

    TDiscHeader* DiscHeader1 = nullptr;
    QTreeView* ListView1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QToolBar* ToolBar1 = nullptr;

    /// Re-evaluates every command's enabling rule.
    void UpdateActions();
    /// The first activation after showing (also reached through the window system).
    void FormActivate();
    /// Row of the selected track, or -1.
    int SelectedRow() const;
    /// Ctrl held while clicking a row toggles the selected row's tick.
    void ListClicked(bool ctrlHeld);
    /// A double click renames the selected row.
    void ListDoubleClicked();

    // CD playback of the selected row and the drive door.
    void aPlayExecute();
    void aPauseExecute();
    void aStopExecute();

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateListAndStatus();
    void ApplyColours();
    /// Opens the manual at a section; says in the status bar when the desktop cannot.
    void OpenManual(const QString& section);
    void ListLoaded();
    void PickFilesAndRun(int kind, const QString& filter, bool swallowErrors);

    void RunJobWindow(int kind, int handle, const QStringList& list);
    void ActionExtractExecute();
    void ShowRecorder();
    void aEditTrackNameExecute();
    void aQueryCDDBExecute();
    void ClearHistory(bool realPlayer);

    TMainController controller_;
    std::unique_ptr<TCDPlayer> player_;        // after the controller: it uses it until destroyed
    std::unique_ptr<TDiscLookupRunner> names_; // the same
    QLabel* statusPanel_ = nullptr;
    TResultBar* resultBar_ = nullptr; ///< how the last job went
    DriveWatcher* watcher_ = nullptr;
    bool shown_ = false;
    bool activated_ = false;
    bool painted_ = false;
    bool closed_ = false;
};
