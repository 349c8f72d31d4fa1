#include <QCoreApplication>

#include <gtest/gtest.h>

#include "app/MediaPlayerHistory.h"
#include "support/TestSupport.h"

namespace {

const char* const kUserReg =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n"
    "\n"
    "[Software\\\\Microsoft\\\\MediaPlayer\\\\Player\\\\RecentFileList] 1700000000\n"
    "#time=1d9a\n"
    "\"File0\"=\"C:\\\\a.mp3\"\n"
    "\"File1\"=hex:01,02,\\\n"
    "  03,04\n"
    "\"File3\"=\"C:\\\\d.mp3\"\n"
    "\n"
    "[Software\\\\RealNetworks\\\\RealPlayer\\\\6.0\\\\Preferences\\\\MostRecentClips1] "
    "1700000000\n"
    "@=\"file://one\"\n"
    "\n"
    "[Software\\\\RealNetworks\\\\RealPlayer\\\\6.0\\\\Preferences\\\\MostRecentClips2] "
    "1700000000\n"
    "@=\"file://two\"\n"
    "\n"
    "[Software\\\\RealNetworks\\\\RealPlayer\\\\6.0\\\\Preferences\\\\MostRecentClips4] "
    "1700000000\n"
    "@=\"file://four\"\n";

} // namespace

TEST(MediaPlayerHistory, HistoriesStopAtTheFirstGap)
{
    ProgramDirScope dir;
    qputenv("WINEPREFIX", dir.Path().toUtf8());
    WriteWholeFile(dir.File(QStringLiteral("user.reg")), kUserReg);

    TMediaPlayerHistory history;
    EXPECT_EQ(history.ClearRealPlayer(), 2);  // 1 and 2; 3 is missing, so 4 stays
    EXPECT_EQ(history.ClearMediaPlayer(), 2); // File0, File1 (with its continuation line)
    const QByteArray after = ReadWholeFile(dir.File(QStringLiteral("user.reg")));
    EXPECT_FALSE(after.contains("MostRecentClips1"));
    EXPECT_FALSE(after.contains("MostRecentClips2"));
    EXPECT_TRUE(after.contains("MostRecentClips4"));
    EXPECT_FALSE(after.contains("\"File0\""));
    EXPECT_FALSE(after.contains("03,04"));
    EXPECT_TRUE(after.contains("\"File3\"=\"C:\\\\d.mp3\""));
    EXPECT_TRUE(after.startsWith("WINE REGISTRY Version 2\n"));

    // Nothing left to delete: the first key is missing.
    EXPECT_EQ(history.ClearRealPlayer(), 0);
    qunsetenv("WINEPREFIX");
}

TEST(MediaPlayerHistory, AMissingPrefixClearsNothing)
{
    ProgramDirScope dir;
    qputenv("WINEPREFIX", dir.File(QStringLiteral("none")).toUtf8());
    EXPECT_EQ(TMediaPlayerHistory().ClearMediaPlayer(), 0);
    EXPECT_EQ(TMediaPlayerHistory().ClearRealPlayer(), 0);
    qunsetenv("WINEPREFIX");
}

TEST(MediaPlayerHistory, ProcessLookup)
{
    EXPECT_FALSE(ProcessRunning("surely-not-running-here.exe"));
    // The test itself is running, under its own program name.
    const QString self = QCoreApplication::applicationFilePath().section(QLatin1Char('/'), -1);
    EXPECT_TRUE(ProcessRunning(self.toLocal8Bit().constData()));
}
