#include "cd/frmNoDeviceHint.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/ErrorHandler.h"
#include "platform/shell/Shell.h"

TfrmNoDeviceHint::TfrmNoDeviceHint(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Platterly"));
    auto* layout = new QVBoxLayout(this);

    lbHeader = new QLabel(
        QStringLiteral(
            "The Software couldn't find CD devices.Please check the following problems:"),
        this);
    lbCause1 = new QLabel(
        QStringLiteral(
            "1. The CD drive is locked by another application (a CD player, a multimedia player "
            "or another ripper). Close that application and try again."),
        this);
    lbCause2 = new QLabel(
        QStringLiteral(
            "2. Your user account may not open the CD drive. On most Linux systems only members "
            "of the \"cdrom\" group may read audio CDs: add your account to that group and log "
            "in again. <a href=\"cdrom-group\">How to join the cdrom group</a>"),
        this);
    lbCause3 = new QLabel(
        QStringLiteral(
            "3. No CD drive, or no driver for it, is present. Check that the drive is connected "
            "and that the system recognises it, or put a disc image in the \"discs\" folder "
            "beside the program. <a href=\"no-device\">Checking the drive</a> &nbsp; "
            "<a href=\"disc-images\">Using disc images</a>"),
        this);
    for (QLabel* label : {lbHeader, lbCause1, lbCause2, lbCause3}) {
        label->setWordWrap(true);
        layout->addWidget(label);
    }
    for (QLabel* label : {lbCause2, lbCause3}) {
        label->setTextFormat(Qt::RichText);
        label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        connect(label, &QLabel::linkActivated, this, &TfrmNoDeviceHint::LinkActivated);
    }

    btClose = new QPushButton(QStringLiteral("&Close"), this);
    connect(btClose, &QPushButton::clicked, this, &QDialog::close);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btClose);
    layout->addLayout(buttons);
    setMinimumWidth(460);
}

void TfrmNoDeviceHint::LinkActivated(const QString& section)
{
    GuardedCall([&] { ShellOpenUrl(ManualUrl(section)); });
}
