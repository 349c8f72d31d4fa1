#include "metadata/dialogs/frmStopQuery.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/ErrorHandler.h"
#include "core/Settings.h"
#include "metadata/QueryCDDBLogic.h"
#include "metadata/QueryCDDBThread.h"
#include "metadata/dialogs/frmChooseCddbMatch.h"

TfrmStopQuery::TfrmStopQuery(QWidget* parent, uint8_t firstTrack, uint8_t lastTrack, int handle)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      first_(firstTrack), last_(lastTrack), handle_(handle)
{
    setObjectName(QStringLiteral("frmStopQuery"));
    setWindowTitle(QStringLiteral("Query CDDB..."));
    setModal(true);

    const auto label = [this](const char* name, const QString& text) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    lbQuery = label("lbQuery", QStringLiteral("Query CDDB..."));
    Label1 = label("Label1", QStringLiteral("No match found,perhaps:"));
    Label2 = label("Label2", QStringLiteral("1.No information in CDDB server"));
    Label3 = label("Label3", QStringLiteral("2.error CDDB options"));
    Label4 = label("Label4", QStringLiteral("3.check the network"));
    for (QLabel* l : {Label1, Label2, Label3, Label4})
        l->hide();
    btStop = new QPushButton(QStringLiteral("Stop"), this);
    btStop->setObjectName(QStringLiteral("btStop"));
    btStop->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btStop);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbQuery, 0, Qt::AlignCenter);
    for (QLabel* l : {Label1, Label2, Label3, Label4})
        layout->addWidget(l);
    layout->addStretch(1);
    layout->addLayout(buttons);
    connect(btStop, &QPushButton::clicked, this, &TfrmStopQuery::btStopClick);
    setMinimumWidth(260);
}

TfrmStopQuery::~TfrmStopQuery()
{
    LetGo();
}

void TfrmStopQuery::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TfrmStopQuery::FormShow()
{
    if (link_)
        return;
    link_ = std::make_shared<TCddbLookupLink>(this);
    TQueryCDDBThread::Start(first_, last_, handle_, OptionsSetting().QueryCDDB, link_);
}

void TfrmStopQuery::LetGo()
{
    if (link_)
        link_->Stop();
}

void TfrmStopQuery::btStopClick()
{
    reject();
}

void TfrmStopQuery::reject()
{
    // The lookup may be anywhere, inside a network call too: it is let go, not waited for.
    LetGo();
    QDialog::reject();
}

bool TfrmStopQuery::event(QEvent* event)
{
    if (event->type() != static_cast<QEvent::Type>(WM_CDDBSTATE))
        return QDialog::event(event);
    const auto* state = static_cast<const CddbStateEvent*>(event);
    // An event already queued when the lookup was let go is no news any more.
    if (!link_ || link_->Stopped())
        return true;
    if (state->State == TCddbStateEvent::kNoMatch) {
        lbQuery->hide();
        for (QLabel* l : {Label1, Label2, Label3, Label4})
            l->show();
        btStop->setText(QStringLiteral("Close"));
    } else if (state->State == TCddbStateEvent::kOver) {
        const auto* over = dynamic_cast<const TCddbStateEvent*>(event);
        if (over != nullptr && over->Result && ApplyResult)
            GuardedCall([&] { ApplyResult(*over->Result); });
        else if (over != nullptr && !over->Failure.isEmpty() && ReportFailure)
            GuardedCall([&] { ReportFailure(CddbLookupFailedText(over->Failure)); });
        done(QDialog::Accepted);
    } else if (state->State == TCddbStateEvent::kChoose) {
        const auto* several = dynamic_cast<const TCddbStateEvent*>(event);
        if (several == nullptr)
            return true;
        // The chooser's own loop runs after this handler returns, not inside it.
        QMetaObject::invokeMethod(
            this, [this, matches = several->Matches] { GuardedCall([&] { Choose(matches); }); },
            Qt::QueuedConnection);
    }
    return true;
}

void TfrmStopQuery::Choose(const std::vector<CddbMatch>& matches)
{
    if (!link_ || link_->Stopped())
        return;
    TfrmChooseCddbMatch chooser(this, matches);
    const bool chosen = chooser.exec() == QDialog::Accepted && chooser.Chosen() >= 0;
    if (link_->Stopped())
        return;
    if (!chosen) {
        reject();
        return;
    }
    TQueryCDDBThread::StartRead(first_, last_, OptionsSetting().QueryCDDB, link_,
                                matches[static_cast<size_t>(chooser.Chosen())]);
}
