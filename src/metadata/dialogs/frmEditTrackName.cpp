#include "metadata/dialogs/frmEditTrackName.h"

#include <QAction>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "metadata/dialogs/ActionButton.h"

TfrmEditTrackName::TfrmEditTrackName(QWidget* parent, const QString& title) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmEditTrackName"));
    setWindowTitle(QStringLiteral("Rename Track Title"));
    setModal(true);

    auto* group = new QGroupBox(QStringLiteral("Please enter the new track title"), this);
    auto* groupLayout = new QVBoxLayout(group);
    eName = new QLineEdit(title, group);
    eName->setObjectName(QStringLiteral("eName"));
    groupLayout->addWidget(eName);

    aOK = new QAction(QStringLiteral("&OK"), this);
    aOK->setObjectName(QStringLiteral("aOK"));
    btOK = new QPushButton(aOK->text(), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setDefault(true);
    btCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    BindButtonToAction(btOK, aOK);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);

    const auto update = [this] { aOK->setEnabled(CanAccept(eName->text())); };
    connect(eName, &QLineEdit::textChanged, this, update);
    // Enter in an empty edit must not accept either: the default button follows the action.
    connect(aOK, &QAction::triggered, this, [this] {
        if (CanAccept(eName->text()))
            accept();
    });
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    update();

    eName->selectAll();
    eName->setFocus();
    resize(360, 130);
}

QString TfrmEditTrackName::Title() const
{
    return eName->text();
}
