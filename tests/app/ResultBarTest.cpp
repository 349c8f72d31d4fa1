#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

#include "app/ResultBar.h"
#include "platform/shell/Shell.h"
#include "support/TestSupport.h"

namespace {

TEST(ResultBar, ShowsDiscTextAsItStandsAndOpensThroughTheShell)
{
    QStringList opened;
    SetShellHookForTests([&](const QString& url) {
        opened << url;
        return true;
    });
    QWidget window;
    TResultBar bar(&window);
    window.show();
    EXPECT_FALSE(bar.isVisibleTo(&window)); // nothing to say before the first job

    // Names from a disc may hold markup and ampersands: shown as they stand.
    TResultNotice notice;
    notice.Summary = QStringLiteral("<h1>Hits</h1>.log could not be written");
    notice.Level = TResultNotice::Severity::Warning;
    notice.Folder = QStringLiteral("/music/Tom & Jerry");
    notice.File = QStringLiteral("/music/Tom & Jerry/Tom & Jerry - <h1>Hits</h1>.log");
    notice.FileLabel = QStringLiteral("Tom & Jerry - <h1>Hits</h1>.log");
    bar.ShowNotice(notice);
    EXPECT_TRUE(bar.isVisibleTo(&window));
    EXPECT_EQ(bar.lbSummary->textFormat(), Qt::PlainText);
    EXPECT_EQ(bar.btFile->text(), QStringLiteral("Tom && Jerry - <h1>Hits</h1>.log"));
    bar.btFile->click();
    bar.btOpenFolder->click();
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(QUrl(opened[0]).toLocalFile(), notice.File);
    EXPECT_EQ(QUrl(opened[1]).toLocalFile(), notice.Folder);

    // A notice without a file has no link; the close button hides the bar.
    notice.File.clear();
    bar.ShowNotice(notice);
    EXPECT_FALSE(bar.btFile->isVisibleTo(&window));
    bar.btClose->click();
    EXPECT_FALSE(bar.isVisibleTo(&window));
    SetShellHookForTests(nullptr);
}

} // namespace
