#include "app/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDBusConnection>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/CoverStore.h"
#include "app/DiscHeader.h"
#include "app/DiscLookupRunner.h"
#include "app/MainColours.h"
#include "app/MediaPlayerHistory.h"
#include "app/ResultBar.h"
#include "app/SettingsStore.h"
#include "app/frmAbout.h"
#include "cd/frmNoDeviceHint.h"
#include "core/ErrorHandler.h"
#include "core/FileDialogService.h"
#include "core/MessageBoxService.h"
#include "core/PlainText.h"
#include "core/Settings.h"
#include "metadata/MusicBrainzSource.h"
#include "metadata/dialogs/frmChooseRelease.h"
#include "metadata/dialogs/frmEditTrackName.h"
#include "metadata/dialogs/frmID3Edit.h"
#include "metadata/dialogs/frmQueryCDDB.h"
#include "options/OptionSetForm.h"
#include "pipeline/OutputFormats.h"
#include "pipeline/ParallelJob.h"
#include "pipeline/RipForm.h"
#include "pipeline/RipVerification.h"
#include "platform/cdaccess/CdAccess.h"
#include "platform/drives/DriveWatcher.h"
#include "platform/shell/DesktopNotification.h"
#include "platform/shell/Shell.h"
#include "platform/waveaudio/WaveAudioDevice.h"
#include "recorder/frmRecord.h"

namespace {

/// Report-style list whose Ctrl-click ticks instead of changing the selection.
class TTrackListView : public QTreeView {
public:
    explicit TTrackListView(TMainForm* form) : QTreeView(form), form_(form) {}

protected:
    void mousePressEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::LeftButton && (e->modifiers() & Qt::ControlModifier)) {
            const QModelIndex idx = indexAt(e->position().toPoint());
            if (idx.isValid()) {
                setCurrentIndex(idx);
                form_->ListClicked(true);
            }
            return;
        }
        QTreeView::mousePressEvent(e);
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::LeftButton && indexAt(e->position().toPoint()).isValid()) {
            form_->ListDoubleClicked();
            return;
        }
        QTreeView::mouseDoubleClickEvent(e);
    }
    void keyPressEvent(QKeyEvent* e) override
    {
        // Space ticks the focused row whichever of its cells has the focus; the view alone
        // would tick only from the first column, where the box is.
        if (e->key() == Qt::Key_Space && e->modifiers() == Qt::NoModifier &&
            currentIndex().isValid()) {
            form_->Controller().ToggleTick(currentIndex().row());
            return;
        }
        QTreeView::keyPressEvent(e);
    }

private:
    TMainForm* form_;
};

/// The options dialog's drive switch: the freshly opened drive replaces the main window's.
class TMainDriveHost : public IDriveHost {
public:
    explicit TMainDriveHost(TMainController& controller) : controller_(controller) {}

    void UseDrive(const OpenDriveResult& opened) override { controller_.UseDrive(opened); }
    int OpenDriveIndex() const override { return controller_.OpenDrivePosition(); }

    TExampleTrack ExampleTrack() const override
    {
        // The first ticked row, as a rip would name it; the first row when none is ticked.
        TTrackListModel& tracks = controller_.Tracks();
        TExampleTrack track;
        track.Count = OptionsSetting().CDInfo.LastTrack;
        int row = 0;
        while (row < tracks.Count() && !tracks.Row(row).Ticked)
            ++row;
        if (row == tracks.Count())
            row = 0;
        if (row < tracks.Count()) {
            track.Number = tracks.Row(row).Number;
            track.Title = tracks.Row(row).Title;
        }
        return track;
    }

private:
    TMainController& controller_;
};

QAction* MakeAction(QObject* parent, const char* name, const QString& caption,
                    const QKeySequence& key = QKeySequence())
{
    auto* a = new QAction(caption, parent);
    a->setObjectName(QString::fromLatin1(name));
    if (!key.isEmpty())
        a->setShortcut(key);
    return a;
}

} // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Platterly 2.0"));
    resize(600, 520);
    player_ = std::make_unique<TCDPlayer>(controller_);
    names_ = std::make_unique<TDiscLookupRunner>(controller_, new TMusicBrainzSource);
    names_->Choose = [this](const std::vector<TDiscCandidate>& releases, int preselected) {
        TfrmChooseRelease chooser(this, releases, preselected);
        return chooser.exec() == QDialog::Accepted ? chooser.Chosen() : -1;
    };
    // Whatever a lookup still has to ask or change waits while a job or a dialog is up.
    names_->MayInterrupt = [] { return QApplication::activeModalWidget() == nullptr; };
    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateListAndStatus();
    ApplyColours();
    // A change of the desktop's palette is told to the application only: a window with a style
    // sheet hears nothing of it.
    qApp->installEventFilter(this);

    controller_.ShowNoDeviceHint = [this] {
        TfrmNoDeviceHint hint(this);
        hint.exec();
    };
    RunJob = [this](int kind, int handle, const QStringList& list) {
        RunJobWindow(kind, handle, list);
    };
    EditTrackName = [this](QString& title) {
        TfrmEditTrackName dialog(this, title);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        title = dialog.Title();
        return true;
    };
    connect(&controller_, &TMainController::StatusTextChanged, statusPanel_, &QLabel::setText);
    connect(&controller_, &TMainController::StateChanged, this, &TMainForm::UpdateActions);
    connect(&controller_, &TMainController::ListLoaded, this, &TMainForm::ListLoaded);
    connect(names_.get(), &TDiscLookupRunner::RunningChanged, DiscHeader1,
            &TDiscHeader::SetLookingUp);
    connect(names_.get(), &TDiscLookupRunner::CoverChanged, DiscHeader1,
            &TDiscHeader::RefreshCover);
    GuardedCall([this] { controller_.Create(); });
    UpdateActions();
}

TMainForm::~TMainForm() = default;

void TMainForm::CreateActions()
{
    ActionExtract = MakeAction(this, "ActionExtract", QStringLiteral("E&xtract"),
                               QKeySequence(Qt::CTRL | Qt::Key_X));
    ActionWavToMp3 = MakeAction(this, "ActionWavToMp3", QStringLiteral("&WAV to MP3"),
                                QKeySequence(Qt::CTRL | Qt::Key_W));
    mnuMp3ToWav = MakeAction(this, "mnuMp3ToWav", QStringLiteral("&MP3 to WAV..."));
    miWAVtoOGG = MakeAction(this, "miWAVtoOGG", QStringLiteral("WAV to O&GG..."));
    miWAVtoWMA = MakeAction(this, "miWAVtoWMA", QStringLiteral("WAV to WM&A..."));
    Openoutputdirectory1 =
        MakeAction(this, "Openoutputdirectory1", QStringLiteral("&Open output directory..."));
    bRefresh = MakeAction(this, "bRefresh", QStringLiteral("&Refresh"));
    EjectMenu = MakeAction(this, "EjectMenu", QStringLiteral("&Eject CD"),
                           QKeySequence(Qt::CTRL | Qt::Key_E));
    CloseCdRomMenu = MakeAction(this, "CloseCdRomMenu", QStringLiteral("&Close CD"),
                                QKeySequence(Qt::CTRL | Qt::Key_L));
    ActionExit =
        MakeAction(this, "ActionExit", QStringLiteral("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_Q));
    ActionRecord = MakeAction(this, "ActionRecord", QStringLiteral("&Record"),
                              QKeySequence(Qt::CTRL | Qt::Key_R));
    aPlay = MakeAction(this, "aPlay", QStringLiteral("&Play"), QKeySequence(Qt::CTRL | Qt::Key_P));
    aPause = MakeAction(this, "aPause", QStringLiteral("P&ause"));
    aStop = MakeAction(this, "aStop", QStringLiteral("&Stop"));
    VolumeControlMenu = MakeAction(this, "VolumeControlMenu", QStringLiteral("&Volume Control..."),
                                   QKeySequence(Qt::CTRL | Qt::Key_V));
    miRealOnePlayer = MakeAction(this, "miRealOnePlayer", QStringLiteral("&RealPlayer"));
    miWindowsMediaPlayer =
        MakeAction(this, "miWindowsMediaPlayer", QStringLiteral("&Windows Media Player"));
    ActionSelectAll = MakeAction(this, "ActionSelectAll", QStringLiteral("Select &All"),
                                 QKeySequence(Qt::CTRL | Qt::Key_A));
    ActionNoSelect = MakeAction(this, "ActionNoSelect", QStringLiteral("Select &None"),
                                QKeySequence(Qt::CTRL | Qt::Key_N));
    aQueryCDDB = MakeAction(this, "aQueryCDDB", QStringLiteral("Get Names from &CDDB..."));
    aQueryMusicBrainz =
        MakeAction(this, "aQueryMusicBrainz", QStringLiteral("Get Names from &MusicBrainz..."));
    aEditTrackName = MakeAction(this, "aEditTrackName", QStringLiteral("Rename &Title"),
                                QKeySequence(Qt::Key_F2));
    aID3Edit = MakeAction(this, "aID3Edit", QStringLiteral("&ID3 Tag Edit"));
    ActionOptionSet = MakeAction(this, "ActionOptionSet", QStringLiteral("&Options"),
                                 QKeySequence(Qt::CTRL | Qt::Key_O));
    mnuHelp = MakeAction(this, "mnuHelp", QStringLiteral("&Help"), QKeySequence(Qt::Key_F1));
    mnuAbout = MakeAction(this, "mnuAbout", QStringLiteral("&About..."));

    connect(ActionExtract, &QAction::triggered, this,
            [this] { GuardedCall([this] { ActionExtractExecute(); }); });
    connect(ActionWavToMp3, &QAction::triggered, this, [this] {
        PickFilesAndRun(2, QStringLiteral("Sound file(*.wav)|*.wav| Any file(*.*)|*.*"), false);
    });
    connect(mnuMp3ToWav, &QAction::triggered, this, [this] {
        PickFilesAndRun(3, QStringLiteral("MP3 file(*.mp3)|*.mp3| Any file(*.*)|*.*"), false);
    });
    connect(miWAVtoOGG, &QAction::triggered, this, [this] {
        PickFilesAndRun(5, QStringLiteral("Sound file(*.wav)|*.wav| Any file(*.*)|*.*"), true);
    });
    connect(miWAVtoWMA, &QAction::triggered, this, [this] {
        PickFilesAndRun(6, QStringLiteral("Sound file(*.wav)|*.wav| Any file(*.*)|*.*"), true);
    });
    connect(Openoutputdirectory1, &QAction::triggered, this,
            [this] { GuardedCall([this] { controller_.OpenOutputDirectory(); }); });
    connect(bRefresh, &QAction::triggered, this,
            [this] { GuardedCall([this] { controller_.Refresh(); }); });
    connect(ActionExit, &QAction::triggered, this, &QWidget::close);
    connect(ActionRecord, &QAction::triggered, this,
            [this] { GuardedCall([this] { ShowRecorder(); }); });
    connect(aPlay, &QAction::triggered, this, &TMainForm::aPlayExecute);
    connect(aPause, &QAction::triggered, this, &TMainForm::aPauseExecute);
    connect(aStop, &QAction::triggered, this, &TMainForm::aStopExecute);
    connect(EjectMenu, &QAction::triggered, this, [this] { player_->EjectMenuClick(); });
    connect(CloseCdRomMenu, &QAction::triggered, this, [this] { player_->CloseCdRomMenuClick(); });
    connect(VolumeControlMenu, &QAction::triggered, this,
            [this] { player_->VolumeControlMenuClick(); });
    connect(miRealOnePlayer, &QAction::triggered, this,
            [this] { GuardedCall([this] { ClearHistory(true); }); });
    connect(miWindowsMediaPlayer, &QAction::triggered, this,
            [this] { GuardedCall([this] { ClearHistory(false); }); });
    connect(ActionSelectAll, &QAction::triggered, this, [this] { controller_.SelectAll(); });
    connect(ActionNoSelect, &QAction::triggered, this, [this] { controller_.SelectNone(); });
    connect(aEditTrackName, &QAction::triggered, this,
            [this] { GuardedCall([this] { aEditTrackNameExecute(); }); });
    connect(aQueryCDDB, &QAction::triggered, this,
            [this] { GuardedCall([this] { aQueryCDDBExecute(); }); });
    connect(aQueryMusicBrainz, &QAction::triggered, this,
            [this] { GuardedCall([this] { names_->StartByUser(); }); });
    connect(aID3Edit, &QAction::triggered, this, [this] {
        GuardedCall([this] {
            TfrmID3Edit editor(this);
            editor.exec();
        });
    });
    connect(ActionOptionSet, &QAction::triggered, this, [this] {
        GuardedCall([this] {
            // The tag page edits the disc's names: changed there, they count as typed.
            const auto fields = [] {
                const TCDInfo& info = OptionsSetting().CDInfo;
                return QStringList{info.Artist, info.Album, info.Year, info.Comment,
                                   QString::number(info.Genre)};
            };
            const QString key = controller_.LoadedDiscKey();
            const QStringList before = fields();
            TMainDriveHost host(controller_);
            TOptionSetForm options(this, &host, DefaultOptions());
            options.move(pos() + QPoint(50, 50));
            options.exec();
            if (controller_.HasDisc() && controller_.LoadedDiscKey() == key && before != fields())
                controller_.DiscFieldsEdited();
            DiscHeader1->Refresh();
            UpdateActions();
        });
    });
    connect(mnuHelp, &QAction::triggered, this, [this] { OpenManual({}); });
    connect(mnuAbout, &QAction::triggered, this, [this] {
        TfrmAbout about(this);
        about.exec();
    });
}

void TMainForm::CreateMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(ActionWavToMp3);
    file->addAction(mnuMp3ToWav);
    file->addAction(miWAVtoOGG);
    file->addAction(miWAVtoWMA);
    // The conversions the format table adds (FLAC, Opus) follow the ones of the design.
    for (const TOutputFormat& format : OutputFormats()) {
        if (format.ConvertMenu.isEmpty())
            continue;
        const QByteArray name = "miWAVto" + format.Name.toLatin1();
        QAction* convert = MakeAction(this, name.constData(), format.ConvertMenu);
        const int kind = format.ConvertKind;
        connect(convert, &QAction::triggered, this, [this, kind] {
            PickFilesAndRun(kind, QStringLiteral("Sound file(*.wav)|*.wav| Any file(*.*)|*.*"),
                            false);
        });
        file->addAction(convert);
    }
    file->addSeparator();
    file->addAction(Openoutputdirectory1);
    file->addAction(bRefresh);
    file->addSeparator();
    file->addAction(EjectMenu);
    file->addAction(CloseCdRomMenu);
    file->addSeparator();
    file->addAction(ActionExit);

    QMenu* actions = menuBar()->addMenu(QStringLiteral("&Actions"));
    actions->addAction(ActionExtract);
    actions->addAction(ActionRecord);
    actions->addSeparator();
    actions->addAction(aPlay);
    actions->addAction(aPause);
    actions->addAction(aStop);
    actions->addAction(VolumeControlMenu);
    actions->addSeparator();
    QMenu* history = actions->addMenu(QStringLiteral("&Clear History"));
    history->addAction(miRealOnePlayer);
    history->addAction(miWindowsMediaPlayer);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->addAction(ActionSelectAll);
    edit->addAction(ActionNoSelect);
    edit->addSeparator();
    edit->addAction(aQueryCDDB);
    edit->addAction(aQueryMusicBrainz);
    edit->addAction(aEditTrackName);
    edit->addAction(aID3Edit);
    edit->addSeparator();
    edit->addAction(ActionOptionSet);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(mnuHelp);
    QAction* home = help->addAction(QStringLiteral("Platterly &Home Page"));
    connect(home, &QAction::triggered, this, [this] { OpenManual(QStringLiteral("about")); });
    QAction* images = help->addAction(QStringLiteral("Using &Disc Images"));
    connect(images, &QAction::triggered, this,
            [this] { OpenManual(QStringLiteral("disc-images")); });
    help->addSeparator();
    help->addAction(mnuAbout);
}

void TMainForm::CreateToolBar()
{
    ToolBar1 = addToolBar(QStringLiteral("Toolbar"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    QStyle* s = style();
    ActionExtract->setIcon(s->standardIcon(QStyle::SP_DialogSaveButton));
    ActionWavToMp3->setIcon(s->standardIcon(QStyle::SP_FileIcon));
    ActionRecord->setIcon(s->standardIcon(QStyle::SP_MediaVolume));
    ActionOptionSet->setIcon(s->standardIcon(QStyle::SP_FileDialogDetailedView));
    ActionExit->setIcon(s->standardIcon(QStyle::SP_DialogCloseButton));
    ToolBar1->addAction(ActionExtract);
    // The toolbar names the WAV-to-MP3 command "Encode".
    auto* encode = new QAction(ActionWavToMp3->icon(), QStringLiteral("Encode"), this);
    encode->setObjectName(QStringLiteral("tbEncode"));
    connect(encode, &QAction::triggered, ActionWavToMp3, &QAction::trigger);
    ToolBar1->addAction(encode);
    ToolBar1->addAction(ActionRecord);
    ToolBar1->addAction(ActionOptionSet);
    ToolBar1->addAction(ActionExit);
    // Show captions without the mnemonic ampersands.
    for (QAction* a : ToolBar1->actions())
        a->setIconText(QString(a->text()).remove(QLatin1Char('&')));
}

void TMainForm::CreateListAndStatus()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(10, 0, 10, 10);
    layout->setSpacing(0);

    auto* view = new TTrackListView(this);
    ListView1 = view;
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setModel(&controller_.Tracks());
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setColumnWidth(TTrackListModel::ColNumber, 90);
    ListView1->setColumnWidth(TTrackListModel::ColTitle, 230);
    ListView1->setColumnWidth(TTrackListModel::ColLength, 100);
    ListView1->setColumnWidth(TTrackListModel::ColSize, 90);
    ListView1->setContextMenuPolicy(Qt::ActionsContextMenu);
    ListView1->addAction(ActionExtract);
    ListView1->addAction(ActionSelectAll);
    ListView1->addAction(ActionNoSelect);
    ListView1->addAction(aPlay);
    ListView1->addAction(aPause);
    ListView1->addAction(aStop);
    ListView1->addAction(aEditTrackName);
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TMainForm::UpdateActions);
    // Above the list, but after it in the focus chain: the keyboard starts on the tracks.
    DiscHeader1 = new TDiscHeader(controller_, central);
    layout->addWidget(DiscHeader1);
    layout->addWidget(ListView1, 1);
    resultBar_ = new TResultBar(central);
    layout->addWidget(resultBar_);

    StatusBar1 = new QStatusBar(central);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    statusPanel_ = MakePlainText(new QLabel(StatusBar1));
    // A long title or server message is cut at the window's edge instead of widening it.
    statusPanel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusPanel_->setObjectName(QStringLiteral("StatusPanel"));
    StatusBar1->addWidget(statusPanel_, 1);
    layout->addWidget(StatusBar1);
    setCentralWidget(central);
}

void TMainForm::ApplyColours()
{
    // From the application's palette: the window's own is already the style sheet's.
    const QString sheet = MainStyleSheet(MainColours(QApplication::palette()));
    if (sheet != styleSheet())
        setStyleSheet(sheet);
}

void TMainForm::OpenManual(const QString& section)
{
    ShellOpenUrl(ManualUrl(section), this, [this](const QString& reason) {
        controller_.SetStatusText(QString::fromLatin1(kHelpFailedText).arg(reason));
    });
}

void TMainForm::ListLoaded()
{
    // The focused row is the selected one, so F2 and Play act on what the keyboard shows.
    if (controller_.Tracks().Count() > 0)
        ListView1->setCurrentIndex(controller_.Tracks().index(0, TTrackListModel::ColNumber));
}

void TMainForm::UpdateActions()
{
    const bool selected = SelectedRow() >= 0;
    ActionExtract->setEnabled(controller_.Tracks().AnyTicked());
    aQueryCDDB->setEnabled(controller_.Tracks().Count() > 0);
    aQueryMusicBrainz->setEnabled(controller_.Tracks().Count() > 0);
    aEditTrackName->setEnabled(selected);
    aPlay->setEnabled(selected);
    aPause->setEnabled(controller_.CDPlaying && !controller_.CDPaused);
    aStop->setEnabled(controller_.CDPlaying);
}

int TMainForm::SelectedRow() const
{
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TMainForm::ListClicked(bool ctrlHeld)
{
    if (ctrlHeld)
        controller_.ToggleTick(SelectedRow());
}

void TMainForm::ListDoubleClicked()
{
    if (SelectedRow() >= 0)
        GuardedCall([this] { aEditTrackNameExecute(); });
}

void TMainForm::aPlayExecute()
{
    GuardedCall([this] { player_->aPlayExecute(SelectedRow()); });
}

void TMainForm::aPauseExecute()
{
    GuardedCall([this] { player_->aPauseExecute(); });
}

void TMainForm::aStopExecute()
{
    GuardedCall([this] { player_->aStopExecute(); });
}

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    controller_.Show();
    statusPanel_->setText(controller_.StatusText());
    UpdateActions();
    ListView1->setFocus();
    // Discs arriving and leaving, watched from now on.
    watcher_ = new DriveWatcher(this);
    watcher_->SetDriveHandle(controller_.CDHandle());
    connect(watcher_, &DriveWatcher::VolumeArrived, this, [this] { controller_.VolumeArrived(); });
    connect(watcher_, &DriveWatcher::VolumeRemoved, this, [this] { controller_.VolumeRemoved(); });
    connect(&controller_, &TMainController::DriveOpened, watcher_, &DriveWatcher::SetDriveHandle);
}

void TMainForm::RunJobWindow(int kind, int handle, const QStringList& list)
{
    // An error while the job sets up its first step propagates to the command, which shows it
    // (or swallows it, for the OGG and WMA commands); the window is then never shown.
    resultBar_->Dismiss();
    // A rip leaves the disc's cover beside its tracks and inside them.
    const QByteArray cover =
        kind == jkRipTracks ? LoadCoverBytes(controller_.LoadedDiscKey()) : QByteArray();
    TRipForm form(this, kind, handle, list, controller_.Runners(), cover);
    if (form.Job().Running())
        form.exec();
    // A long job's end reaches a user who went elsewhere meanwhile.
    const std::optional<TJobReport> report = form.Job().Report();
    if (report && !report->Stopped && QApplication::applicationState() != Qt::ApplicationActive)
        SendDesktopNotification(QDBusConnection::sessionBus(), ProductName(),
                                QStringLiteral("Job finished"), JobReportText(*report));
    // A rip's log waits for the AccurateRip answer (its time-out at most); the bar then shows.
    if (std::unique_ptr<TRipVerification> taken = form.Job().TakeVerification()) {
        TRipVerification* verification = taken.release();
        verification->setParent(this);
        const auto show = [this, verification, report] {
            if (!verification->Notice().Summary.isEmpty()) // nothing was read
                resultBar_->ShowNotice(
                    WithJobFailures(verification->Notice(), report ? &*report : nullptr));
            verification->deleteLater();
        };
        if (verification->Done())
            show();
        else
            connect(verification, &TRipVerification::Finished, this, show);
    } else if (report && !report->Stopped) {
        // Other parallel jobs end with their counts, time and folder.
        resultBar_->ShowNotice(JobReportNotice(*report));
    }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == qApp) {
        if (event->type() == QEvent::ApplicationPaletteChange)
            ApplyColours();
        return false;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TMainForm::event(QEvent* event)
{
    const bool handled = QMainWindow::event(event);
    // A lookup's question or names wait while another window is modal.
    if (event->type() == QEvent::WindowUnblocked)
        QTimer::singleShot(0, names_.get(), [this] { names_->Resume(); });
    if (event->type() == QEvent::Paint && !painted_) {
        painted_ = true;
        QTimer::singleShot(0, names_.get(),
                           [this] { GuardedCall([this] { names_->WindowUp(); }); });
    }
    if (event->type() == QEvent::WindowActivate && shown_ && !activated_) {
        activated_ = true;
        // Leave the activation handler before opening modal windows.
        QTimer::singleShot(0, this, [this] { FormActivate(); });
    }
    return handled;
}

void TMainForm::FormActivate()
{
    activated_ = true;
    GuardedCall([this] { controller_.Activate(); });
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (!closed_) {
        closed_ = true;
        names_->Abort();
        controller_.Close();
    }
    event->accept();
}

void TMainForm::ActionExtractExecute()
{
    const QStringList jobs = controller_.PrepareRip();
    if (!jobs.isEmpty() && RunJob)
        RunJob(1, controller_.CDHandle(), jobs);
}

void TMainForm::PickFilesAndRun(int kind, const QString& filter, bool swallowErrors)
{
    const auto run = [&] {
        FileDialogRequest r;
        r.Kind = FileDialogKind::OpenFiles;
        r.Filter = filter;
        const QStringList files = FileDialogs().Pick(r);
        if (files.isEmpty() || !controller_.OutputFolderTest())
            return;
        if (RunJob)
            RunJob(kind, 0, files);
    };
    if (swallowErrors)
        SwallowErrors(run);
    else
        GuardedCall(run);
}

void TMainForm::aEditTrackNameExecute()
{
    const int row = SelectedRow();
    if (row < 0 || !EditTrackName)
        return;
    QString title = controller_.Tracks().Row(row).Title;
    if (EditTrackName(title))
        controller_.RenameRow(row, title);
}

void TMainForm::aQueryCDDBExecute()
{
    int first = 0;
    int last = 0;
    if (!controller_.ReadTocForCddb(first, last))
        return;
    TfrmQueryCDDB dialog(this, static_cast<uint8_t>(first), static_cast<uint8_t>(last),
                         controller_.CDHandle());
    const QString key = controller_.LoadedDiscKey();
    dialog.ApplyResult = [this, key](const TDiscNames& result) {
        controller_.ApplyNames(result, key);
    };
    dialog.ReportFailure = [this](const QString& text) { controller_.SetStatusText(text); };
    dialog.exec();
}

void TMainForm::ClearHistory(bool realPlayer)
{
    const TMediaPlayerHistory history;
    const QString running =
        realPlayer ? QStringLiteral("Please close RealOne Player firstly.Continue?")
                   : QStringLiteral("Please close Windows Media Player firstly.Continue?");
    if ((realPlayer ? history.RealPlayerRunning() : history.MediaPlayerRunning()) &&
        AskYesNo(running, MbIcon::Information, MbAnswer::No) != MbAnswer::Yes)
        return;
    const int n = realPlayer ? history.ClearRealPlayer() : history.ClearMediaPlayer();
    ShowInformation(QString::number(n) + QStringLiteral(" list records are deleted!"));
}

void TMainForm::ShowRecorder()
{
    TRecorderHost host;
    host.CDHandle = [this] { return controller_.CDHandle(); };
    host.RunJob = [this](int kind, int handle, const QStringList& list) {
        if (RunJob)
            RunJob(kind, handle, list);
    };
    TfrmRecord recorder(this, std::move(host), MakeWaveAudio ? MakeWaveAudio() : nullptr);
    recorder.exec();
}
