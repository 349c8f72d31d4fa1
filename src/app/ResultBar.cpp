#include "app/ResultBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QUrl>

#include "core/MessageBoxService.h"
#include "core/PlainText.h"
#include "platform/shell/Shell.h"

namespace {

/// A button's text shows "&" as a shortcut mark unless doubled: file names keep theirs.
QString ButtonText(QString text)
{
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

TResultBar::TResultBar(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("ResultBar"));
    setAccessibleName(QStringLiteral("Job result"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 3, 3, 3);
    lbIcon = new QLabel(this);
    lbIcon->setObjectName(QStringLiteral("ResultIcon"));
    lbSummary = MakePlainText(new QLabel(this));
    lbSummary->setObjectName(QStringLiteral("ResultSummary"));
    lbSummary->setWordWrap(true);
    lbSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long summary wraps instead of widening the main window.
    lbSummary->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    btFile = new QToolButton(this);
    btFile->setObjectName(QStringLiteral("ResultFile"));
    btFile->setAutoRaise(true);
    btFile->setCursor(Qt::PointingHandCursor);
    QFont underlined = btFile->font();
    underlined.setUnderline(true);
    btFile->setFont(underlined);
    btOpenFolder = new QPushButton(QStringLiteral("Open Folder"), this);
    btOpenFolder->setObjectName(QStringLiteral("ResultOpenFolder"));
    btClose = new QToolButton(this);
    btClose->setObjectName(QStringLiteral("ResultClose"));
    btClose->setAutoRaise(true);
    btClose->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    btClose->setToolTip(QStringLiteral("Close"));
    btClose->setAccessibleName(QStringLiteral("Close"));
    row->addWidget(lbIcon);
    row->addWidget(lbSummary, 1);
    row->addWidget(btFile);
    row->addWidget(btOpenFolder);
    row->addWidget(btClose);
    connect(btFile, &QToolButton::clicked, this, [this] { Open(notice_.File); });
    connect(btOpenFolder, &QPushButton::clicked, this, [this] { Open(notice_.Folder); });
    connect(btClose, &QToolButton::clicked, this, &TResultBar::Dismiss);
    hide();
}

void TResultBar::ShowNotice(const TResultNotice& notice)
{
    notice_ = notice;
    QStyle::StandardPixmap icon = QStyle::SP_MessageBoxInformation;
    QPalette p = parentWidget() != nullptr ? parentWidget()->palette() : palette();
    // Fixed light tints with dark text, so a warning reads as one in light and dark themes.
    if (notice.Level == TResultNotice::Severity::Warning) {
        icon = QStyle::SP_MessageBoxWarning;
        p.setColor(QPalette::Window, QColor(0xff, 0xf0, 0xc0));
        p.setColor(QPalette::WindowText, QColor(0x40, 0x30, 0x00));
    } else if (notice.Level == TResultNotice::Severity::Error) {
        icon = QStyle::SP_MessageBoxCritical;
        p.setColor(QPalette::Window, QColor(0xf8, 0xd7, 0xda));
        p.setColor(QPalette::WindowText, QColor(0x58, 0x15, 0x1c));
    }
    setPalette(p);
    // The file reads as a link on every tint.
    QPalette link = p;
    link.setColor(QPalette::ButtonText, notice.Level == TResultNotice::Severity::Information
                                            ? p.color(QPalette::Link)
                                            : p.color(QPalette::WindowText));
    btFile->setPalette(link);
    const int size = style()->pixelMetric(QStyle::PM_SmallIconSize);
    lbIcon->setPixmap(style()->standardIcon(icon).pixmap(size, size));
    lbSummary->setText(notice.Summary);
    lbSummary->setAccessibleName(notice.Summary);
    btFile->setText(ButtonText(notice.FileLabel));
    btFile->setAccessibleName(notice.FileLabel);
    btFile->setVisible(!notice.File.isEmpty());
    btOpenFolder->setVisible(!notice.Folder.isEmpty());
    show();
}

void TResultBar::Dismiss()
{
    hide();
    notice_ = {};
}

void TResultBar::Open(const QString& path)
{
    if (path.isEmpty())
        return;
    ShellOpenUrl(QUrl::fromLocalFile(path), this, [path](const QString& reason) {
        ShowError(path + QStringLiteral(" could not be opened (") + reason + QStringLiteral(")."));
    });
}
