#include "pipeline/RipForm.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>

#include "core/ErrorHandler.h"
#include "core/PlainText.h"
#include "pipeline/ParallelJob.h"

TRipForm::TRipForm(QWidget* owner, int jobKind, int cdHandle, const QStringList& list,
                   TJobRunners runners, const QByteArray& cover)
    : QDialog(owner), job_(jobKind, cdHandle, list, runners, cover)
{
    setObjectName(QStringLiteral("RipForm"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint);
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto* grid = new QGridLayout(GroupBox1);

    // The bar and the "Initializing..." text share one place, the text drawn over the bar.
    auto* barHolder = new QWidget(GroupBox1);
    auto* stack = new QStackedLayout(barHolder);
    stack->setStackingMode(QStackedLayout::StackAll);
    FlatGauge1 = new QProgressBar(barHolder);
    FlatGauge1->setObjectName(QStringLiteral("FlatGauge1"));
    FlatGauge1->setRange(0, 100);
    FlatGauge1->setMinimumWidth(320);
    Label3 = MakePlainText(new QLabel(barHolder));
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setAlignment(Qt::AlignCenter);
    Label3->setAttribute(Qt::WA_TransparentForMouseEvents);
    stack->addWidget(Label3);
    stack->addWidget(FlatGauge1);
    grid->addWidget(barHolder, 0, 0, 1, 2);

    Label10 = new QLabel(QStringLiteral("Time elapsed:"), GroupBox1);
    Label1 = MakePlainText(new QLabel(GroupBox1)); // may hold a tool's error line
    Label1->setObjectName(QStringLiteral("Label1"));
    Label20 = new QLabel(QStringLiteral("Time estimated:"), GroupBox1);
    Label2 = MakePlainText(new QLabel(GroupBox1));
    Label2->setObjectName(QStringLiteral("Label2"));
    grid->addWidget(Label10, 1, 0);
    grid->addWidget(Label1, 1, 1);
    grid->addWidget(Label20, 2, 0);
    grid->addWidget(Label2, 2, 1);
    if (const TParallelJob* parallel = job_.Parallel()) {
        // Room for the drive's line and one per encoder, so the fixed-size window fits them.
        LinesLabel = MakePlainText(new QLabel(GroupBox1));
        LinesLabel->setObjectName(QStringLiteral("LinesLabel"));
        LinesLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        const int lines = parallel->Scheduler().Width(TLane::Encode) + 1;
        LinesLabel->setMinimumHeight(LinesLabel->fontMetrics().lineSpacing() * lines + 4);
        grid->addWidget(LinesLabel, 3, 0, 1, 2);
    }
    layout->addWidget(GroupBox1);

    lvResults = new QListWidget(this);
    lvResults->setObjectName(QStringLiteral("lvResults"));
    lvResults->setAccessibleName(QStringLiteral("Track results"));
    lvResults->setFixedHeight(lvResults->fontMetrics().height() * 5 + 8);
    lvResults->setFocusPolicy(Qt::NoFocus);
    lvResults->setVisible(jobKind == jkRipTracks);
    layout->addWidget(lvResults);

    btStop = new QPushButton(QStringLiteral("Stop"), this);
    btStop->setObjectName(QStringLiteral("btStop"));
    layout->addWidget(btStop, 0, Qt::AlignRight);
    connect(btStop, &QPushButton::clicked, this, &TRipForm::btStopClick);

    connect(&job_, &TRipJob::ViewChanged, this, &TRipForm::ShowView);
    connect(&job_, &TRipJob::CloseRequested, this, [this] { done(QDialog::Accepted); });
    ShowView();
    adjustSize();
    setFixedSize(size());
    if (owner != nullptr) {
        const QRect o = owner->frameGeometry();
        move(o.left() + (o.width() - width()) / 2, o.top() + (o.height() - height()) / 2);
    }
}

TRipForm::~TRipForm() = default;

void TRipForm::ShowView()
{
    const TJobView& v = job_.View();
    setWindowTitle(v.Caption);
    GroupBox1->setTitle(v.GroupCaption);
    Label1->setText(v.Label1);
    Label2->setText(v.Label2);
    Label3->setText(v.Label3);
    Label3->setVisible(v.Label3Visible);
    FlatGauge1->setTextVisible(v.BarTextVisible);
    FlatGauge1->setValue(v.Bar);
    if (LinesLabel != nullptr)
        LinesLabel->setText(v.Lines.join(QLatin1Char('\n')));
    // Results only ever come in: the lines already shown stay as they are.
    for (int i = lvResults->count(); i < v.Results.size(); ++i) {
        lvResults->addItem(v.Results[i]);
        lvResults->scrollToBottom();
    }
}

void TRipForm::btStopClick()
{
    GuardedCall([this] { job_.Stop(); });
}

void TRipForm::FormClose()
{
    GuardedCall([this] { job_.Cleanup(); });
}

void TRipForm::closeEvent(QCloseEvent* event)
{
    FormClose();
    QDialog::closeEvent(event);
}

void TRipForm::reject()
{
    // Escape or the window's close button end the job like closing it.
    FormClose();
    QDialog::reject();
}
