// Saves a picture of each options tab, the tag editor and the rename dialog:
//   options_screenshots <output folder>
// Run under a real display (tests/options/screenshots.sh starts Xvfb for it).
#include <cstdio>
#include <iterator>

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>

#include "app/SettingsStore.h"
#include "core/AppPaths.h"
#include "core/Settings.h"
#include "makedisc/DiscImageWriter.h"
#include "metadata/dialogs/frmEditTrackName.h"
#include "metadata/dialogs/frmID3Edit.h"
#include "options/OptionSetForm.h"

namespace {

bool Save(QWidget& w, const QString& path)
{
    w.show();
    QApplication::processEvents();
    QApplication::processEvents();
    const bool ok = w.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: options_screenshots <output folder>\n");
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + QLatin1Char('/');
    QDir().mkpath(out);
    QTemporaryDir programDir;
    SetProgramDirForTests(programDir.path() + QLatin1Char('/'));
    const std::string discs = (programDir.path() + QStringLiteral("/discs")).toStdString();
    QDir().mkpath(QString::fromStdString(discs));
    makedisc::WriteDiscImage(discs, "Demo", {75}, {}, nullptr);
    makedisc::WriteDiscImage(discs, "Live Album", {75}, {}, nullptr);

    OptionsSetting() = DefaultOptions();
    TOptionsSetting& s = OptionsSetting();
    s.CommonOptions.IsNormalize = true;
    s.CDInfo.Artist = QStringLiteral("The Example Ensemble");
    s.CDInfo.Album = QStringLiteral("Sample Recordings");
    s.CDInfo.Year = QStringLiteral("2006");
    s.CDInfo.Genre = 30; // Classical
    s.CommonOptions.OutputFolder = QStringLiteral("/home/user/Music/Rips");
    s.ID3.Use = true;

    bool ok = true;
    TOptionSetForm form(nullptr, nullptr, DefaultOptions());
    const char* names[] = {"output", "lame", "ogg", "wma", "id3", "cdrom", "flacopus", "names"};
    for (int i = 0; i < form.PageControl1->count() && i < int(std::size(names)); ++i) {
        form.PageControl1->setCurrentIndex(i);
        ok &= Save(form, out + QStringLiteral("options-%1.png").arg(QLatin1String(names[i])));
    }
    form.hide();

    TfrmID3Edit editor;
    ok &= Save(editor, out + QStringLiteral("options-id3edit.png"));
    editor.hide();
    TfrmEditTrackName rename(nullptr, QStringLiteral("Track03"));
    ok &= Save(rename, out + QStringLiteral("options-rename.png"));
    SetProgramDirForTests(QString());
    return ok ? 0 : 1;
}
