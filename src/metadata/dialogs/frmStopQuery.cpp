#include "metadata/dialogs/frmStopQuery.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/ErrorHandler.h"
#include "metadata/CddbSource.h"
#include "metadata/QueryCDDBLogic.h"
#include "metadata/dialogs/frmChooseCddbMatch.h"

TfrmStopQuery::TfrmStopQuery(QWidget* parent, uint8_t firstTrack, uint8_t lastTrack, int handle)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      first_(firstTrack), last_(lastTrack), handle_(handle), source_(new TCddbSource(this))
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
    if (started_)
        return;
    started_ = true;
    TDiscQuery disc;
    disc.Handle = handle_;
    disc.Toc.FirstTrack = first_;
    disc.Toc.LastTrack = last_;
    source_->Find(disc, [this](const TDiscFound& found) { GuardedCall([&] { Found(found); }); });
}

void TfrmStopQuery::LetGo()
{
    stopped_ = true;
    source_->Abort();
}

void TfrmStopQuery::btStopClick()
{
    reject();
}

void TfrmStopQuery::reject()
{
    LetGo();
    QDialog::reject();
}

void TfrmStopQuery::Found(const TDiscFound& found)
{
    if (!found.Error.isEmpty()) {
        if (ReportFailure)
            ReportFailure(CddbLookupFailedText(found.Error));
        done(QDialog::Accepted);
    } else if (found.Candidates.empty()) {
        lbQuery->hide();
        for (QLabel* l : {Label1, Label2, Label3, Label4})
            l->show();
        btStop->setText(QStringLiteral("Close"));
    } else if (found.Candidates.size() == 1 && found.Candidates.front().Names) {
        if (ApplyResult)
            ApplyResult(*found.Candidates.front().Names);
        done(QDialog::Accepted);
    } else {
        // The chooser's own loop runs after this handler returns, not inside it.
        QMetaObject::invokeMethod(
            this, [this] { GuardedCall([this] { Choose(); }); }, Qt::QueuedConnection);
    }
}

void TfrmStopQuery::Choose()
{
    if (stopped_)
        return;
    const std::vector<CddbMatch> matches = source_->Matches();
    TfrmChooseCddbMatch chooser(this, matches);
    const bool chosen = chooser.exec() == QDialog::Accepted && chooser.Chosen() >= 0;
    if (stopped_)
        return;
    if (!chosen) {
        reject();
        return;
    }
    source_->Names(static_cast<size_t>(chooser.Chosen()),
                   [this](const TDiscFound& found) { GuardedCall([&] { Found(found); }); });
}
