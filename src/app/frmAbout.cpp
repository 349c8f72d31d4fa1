#include "app/frmAbout.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/MessageBoxService.h"
#include "platform/shell/Shell.h"

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About ") + ProductName());
    auto* layout = new QVBoxLayout(this);
    auto* name =
        new QLabel(QStringLiteral("<b style='font-size:16pt'>%1</b>").arg(ProductName()), this);
    layout->addWidget(name);
    layout->addWidget(new QLabel(QStringLiteral("Version: 2.0   Bulid 20061019"), this));
    layout->addWidget(new QLabel(QStringLiteral("Contact: support@platterly.example"), this));
    auto* web = new QLabel(
        QStringLiteral("<a href=\"about\">The Platterly manual and home page</a>"), this);
    web->setObjectName(QStringLiteral("lbWeb"));
    web->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(web, &QLabel::linkActivated, this,
            [] { ShellOpenUrl(ManualUrl(QStringLiteral("about"))); });
    layout->addWidget(web);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}
