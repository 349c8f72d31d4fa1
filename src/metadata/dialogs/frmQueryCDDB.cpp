#include "metadata/dialogs/frmQueryCDDB.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "metadata/dialogs/frmStopQuery.h"

namespace {

template <typename W> W* Named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

TfrmQueryCDDB::TfrmQueryCDDB(QWidget* parent, uint8_t firstTrack, uint8_t lastTrack, int handle)
    : QDialog(parent), first_(firstTrack), last_(lastTrack), handle_(handle)
{
    setObjectName(QStringLiteral("frmQueryCDDB"));
    setWindowTitle(QStringLiteral("Query CDDB"));
    setModal(true);

    Image1 = Named(new QLabel(this), "Image1");
    Image1->setFixedSize(48, 48);
    Image1->setPixmap(QPixmap(QStringLiteral(":/metadata/cddb.jpg")));

    GroupBox1 = Named(new QGroupBox(QStringLiteral("Server"), this), "GroupBox1");
    cbServer = Named(new QComboBox(GroupBox1), "cbServer");
    cbServer->setEditable(true);
    cbServer->setInsertPolicy(QComboBox::NoInsert);
    cbServer->addItems(CddbServerList());
    eScript = Named(new QLineEdit(GroupBox1), "eScript");
    auto* serverLayout = new QFormLayout(GroupBox1);
    serverLayout->addRow(cbServer);
    serverLayout->addRow(QStringLiteral("Query Script:"), eScript);

    GroupBox2 = Named(new QGroupBox(QStringLiteral("Proxy server"), this), "GroupBox2");
    cbProxy = Named(new QCheckBox(QStringLiteral("Use a proxy server"), GroupBox2), "cbProxy");
    eAddress = Named(new QLineEdit(GroupBox2), "eAddress");
    ePort = Named(new QLineEdit(GroupBox2), "ePort");
    ePort->setMaximumWidth(80);
    auto* proxyLayout = new QFormLayout(GroupBox2);
    proxyLayout->addRow(cbProxy);
    proxyLayout->addRow(QStringLiteral("Address:"), eAddress);
    proxyLayout->addRow(QStringLiteral("Port:"), ePort);

    btDefault = Named(new QPushButton(QStringLiteral("Default"), this), "btDefault");
    btQuery = Named(new QPushButton(QStringLiteral("Query"), this), "btQuery");
    btClose = Named(new QPushButton(QStringLiteral("Close"), this), "btClose");
    btQuery->setDefault(true);

    auto* top = new QHBoxLayout;
    top->addWidget(Image1, 0, Qt::AlignTop);
    top->addWidget(GroupBox1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btDefault);
    buttons->addStretch(1);
    buttons->addWidget(btQuery);
    buttons->addWidget(btClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(GroupBox2);
    layout->addLayout(buttons);

    connect(btDefault, &QPushButton::clicked, this, &TfrmQueryCDDB::btDefaultClick);
    connect(btQuery, &QPushButton::clicked, this, &TfrmQueryCDDB::btQueryClick);
    connect(btClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(cbProxy, &QCheckBox::clicked, this, &TfrmQueryCDDB::cbProxyClick);
    resize(400, minimumSizeHint().height());
}

void TfrmQueryCDDB::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TfrmQueryCDDB::FormShow()
{
    ShowFields(TQueryCDDBFields::FromSettings(OptionsSetting().QueryCDDB));
}

void TfrmQueryCDDB::ShowFields(const TQueryCDDBFields& f)
{
    cbServer->setCurrentIndex(f.ServerIndex);
    cbServer->setEditText(f.ServerText);
    eScript->setText(f.Script);
    cbProxy->setChecked(f.UseProxy);
    eAddress->setText(f.Address);
    ePort->setText(f.Port);
    cbProxyClick();
}

TQueryCDDBFields TfrmQueryCDDB::Fields() const
{
    TQueryCDDBFields f;
    f.ServerIndex = cbServer->currentIndex();
    f.ServerText = cbServer->currentText();
    f.Script = eScript->text();
    f.UseProxy = cbProxy->isChecked();
    f.Address = eAddress->text();
    f.Port = ePort->text();
    return f;
}

void TfrmQueryCDDB::cbProxyClick()
{
    const bool on = Fields().ProxyFieldsEnabled();
    eAddress->setEnabled(on);
    ePort->setEnabled(on);
}

void TfrmQueryCDDB::btDefaultClick()
{
    TQueryCDDBFields f = Fields();
    f.Reset();
    ShowFields(f);
}

void TfrmQueryCDDB::btQueryClick()
{
    Fields().Store(OptionsSetting().QueryCDDB);
    TfrmStopQuery wait(this, first_, last_, handle_);
    wait.ApplyResult = ApplyResult;
    wait.ReportFailure = ReportFailure;
    if (wait.exec() == QDialog::Accepted)
        accept();
}
