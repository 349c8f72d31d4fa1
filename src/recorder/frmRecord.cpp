#include "recorder/frmRecord.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include "core/ErrorHandler.h"
#include "platform/waveaudio/QtWaveAudio.h"
#include "recorder/AfStartButton.h"
#include "recorder/MediaTransport.h"
#include "recorder/frmNewRecordFile.h"

namespace {

/// The start button's image: a red recording dot.
QPixmap StartImage()
{
    QPixmap pm(18, 18);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(120, 0, 0), 1));
    p.setBrush(QColor(215, 40, 40));
    p.drawEllipse(QRectF(2.5, 2.5, 13, 13));
    return pm;
}

QLabel* Panel(const QString& text, const char* name, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setMinimumWidth(90);
    return l;
}

} // namespace

TfrmRecord::TfrmRecord(QWidget* owner, TRecorderHost host, std::unique_ptr<IWaveAudioDevice> device)
    : QDialog(owner), device_(device ? std::move(device) : std::make_unique<TQtWaveAudio>())
{
    setObjectName(QStringLiteral("frmRecord"));
    logic_ = std::make_unique<TRecordLogic>(*device_, std::move(host));
    logic_->AskNewRecordFormat = [this](TNewRecordChoice& choice) {
        TfrmNewRecordFile dialog(this);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        choice = dialog.Choice();
        return true;
    };
    // Closing from inside a command waits until the command has returned.
    logic_->CloseWindow = [this] { QTimer::singleShot(0, this, [this] { reject(); }); };

    auto* positionCaption = new QLabel(QStringLiteral("Position:"), this);
    lbPosition = Panel(QString(), "lbPosition", this);
    auto* lengthCaption = new QLabel(QStringLiteral("Length:"), this);
    lbLength = Panel(QString(), "lbLength", this);

    TrackBar1 = new QSlider(Qt::Horizontal, this);
    TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
    TrackBar1->setRange(0, 400);
    TrackBar1->setTickInterval(40);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setPageStep(40);
    TrackBar1->setAccessibleName(QStringLiteral("Position"));
    connect(TrackBar1, &QSlider::valueChanged, this,
            [this](int v) { Run([this, v] { logic_->SetBar(v); }); });

    MediaPlayer1 = new TMediaTransport(this);
    MediaPlayer1->setObjectName(QStringLiteral("MediaPlayer1"));
    MediaPlayer1->SetVisibleButtons({btPlay, btStop, btNext, btPrev, btStep, btBack, btRecord});
    connect(MediaPlayer1, &TMediaTransport::Click, this,
            [this](TMPBtnType b) { Run([this, b] { logic_->ClickButton(b); }); });

    panRecordTime = Panel(QString(), "panRecordTime", this);
    panRecordTime->setAlignment(Qt::AlignCenter);
    QFont mono = panRecordTime->font();
    mono.setStyleHint(QFont::Monospace);
    mono.setFamily(QStringLiteral("monospace"));
    mono.setPointSizeF(mono.pointSizeF() * 1.3);
    panRecordTime->setFont(mono);
    lbState = new QLabel(this);
    lbState->setObjectName(QStringLiteral("lbState"));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, [this] { Run([this] { logic_->Timer1Timer(); }); });
    TimerRecord = new QTimer(this);
    TimerRecord->setObjectName(QStringLiteral("TimerRecord"));
    TimerRecord->setInterval(100);
    connect(TimerRecord, &QTimer::timeout, this,
            [this] { Run([this] { logic_->TimerRecordTimer(); }); });

    CreateMenu();
    AfStartButton1 = new TAfStartButton(this);
    AfStartButton1->setObjectName(QStringLiteral("AfStartButton1"));
    AfStartButton1->SetCaption(QStringLiteral("Start"));
    AfStartButton1->Setm_Image(StartImage());
    AfStartButton1->Setm_PopupMenu(PopupMenu1);

    lWeb = new QLabel(QStringLiteral("<a href=\"#\">Platterly Home Page</a>"), this);
    lWeb->setObjectName(QStringLiteral("lWeb"));
    lWeb->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(lWeb, &QLabel::linkActivated, this, [this] { Run([this] { logic_->lWebClick(); }); });

    auto* texts = new QGridLayout;
    texts->addWidget(positionCaption, 0, 0);
    texts->addWidget(lbPosition, 0, 1);
    texts->setColumnStretch(2, 1);
    texts->addWidget(lengthCaption, 0, 3);
    texts->addWidget(lbLength, 0, 4);
    auto* transport = new QHBoxLayout;
    transport->addWidget(MediaPlayer1);
    transport->addStretch(1);
    transport->addWidget(panRecordTime);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(AfStartButton1);
    bottom->addStretch(1);
    bottom->addWidget(lWeb);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(texts);
    layout->addWidget(TrackBar1);
    layout->addLayout(transport);
    layout->addWidget(lbState);
    layout->addLayout(bottom);
    setMinimumWidth(440);

    connect(logic_.get(), &TRecordLogic::Changed, this, &TfrmRecord::ShowState);
    logic_->FormCreate();
    ShowState();
}

TfrmRecord::~TfrmRecord()
{
    // The window's timers and controls go first; the logic must not call back into them.
    disconnect(logic_.get(), nullptr, this, nullptr);
}

void TfrmRecord::CreateMenu()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    const auto add = [this](const char* name, const QString& text,
                            void (TRecordLogic::*handler)()) {
        QAction* a = PopupMenu1->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this,
                [this, handler] { Run([this, handler] { (logic_.get()->*handler)(); }); });
        return a;
    };
    miNew = add("miNew", QStringLiteral("&New..."), &TRecordLogic::New);
    miOpen = add("miOpen", QStringLiteral("&Open..."), &TRecordLogic::Open);
    actSave = add("actSave", QStringLiteral("&Save"), &TRecordLogic::actSaveExecute);
    actSaveAs = add("actSaveAs", QStringLiteral("Save &As..."), &TRecordLogic::actSaveAsExecute);
    actUndo = add("actUndo", QStringLiteral("&Undo"), &TRecordLogic::actUndoExecute);
    PopupMenu1->addSeparator();
    miRecordingControl = add("miRecordingControl", QStringLiteral("&Recording Control..."),
                             &TRecordLogic::RecordingControl);
    PopupMenu1->addSeparator();
    miSaveMp3 = PopupMenu1->addAction(QStringLiteral("&MP3 format"));
    miSaveMp3->setObjectName(QStringLiteral("miSaveMp3"));
    miSaveMp3->setCheckable(true);
    connect(miSaveMp3, &QAction::toggled, this, [this](bool on) { logic_->SetSaveMp3(on); });
    PopupMenu1->addSeparator();
    miExit = PopupMenu1->addAction(QStringLiteral("&Exit"));
    miExit->setObjectName(QStringLiteral("miExit"));
    connect(miExit, &QAction::triggered, this, [this] { Run([this] { logic_->Exit(); }); });
    connect(PopupMenu1, &QMenu::aboutToShow, this, &TfrmRecord::ShowState);
}

void TfrmRecord::Run(const std::function<void()>& handler)
{
    GuardedCall(handler);
}

void TfrmRecord::ShowState()
{
    const TRecordLogic& l = *logic_;
    setWindowTitle(l.Caption());
    lbPosition->setText(l.PositionText());
    lbLength->setText(l.LengthText());
    lbState->setText(l.StateText());
    panRecordTime->setText(l.RecordTimeText());
    {
        const QSignalBlocker block(TrackBar1);
        TrackBar1->setValue(l.Bar());
    }
    MediaPlayer1->SetEnabledButtons(l.EnabledButtons());
    actSave->setEnabled(l.SaveEnabled());
    actSaveAs->setEnabled(l.SaveAsEnabled());
    actUndo->setEnabled(l.UndoEnabled());
    {
        const QSignalBlocker block(miSaveMp3);
        miSaveMp3->setChecked(l.SaveMp3Checked());
    }
    if (l.PlayTimerOn() != Timer1->isActive())
        l.PlayTimerOn() ? Timer1->start() : Timer1->stop();
    if (l.RecordTimerOn() != TimerRecord->isActive())
        l.RecordTimerOn() ? TimerRecord->start() : TimerRecord->stop();
}

void TfrmRecord::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    // Asked once the window is up, so the question stands over it.
    QTimer::singleShot(0, this, [this] {
        if (!closed_)
            Run([this] { logic_->OfferLeftoverTakes(); });
    });
}

void TfrmRecord::reject()
{
    if (!closed_) {
        Timer1->stop();
        bool close = false;
        GuardedCall([this, &close] { close = logic_->FormClose(); });
        if (!close) {
            ShowState();
            return;
        }
        closed_ = true;
        Timer1->stop();
        TimerRecord->stop();
    }
    QDialog::reject();
}
