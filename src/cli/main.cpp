// platterly-cli: the ripper and converter without a window, over the window's own libraries.
#include <cstdio>
#include <memory>

#include <csignal>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>

#include "app/SettingsStore.h"
#include "audio/VorbisApi.h"
#include "cli/CliArgs.h"
#include "cli/CliDisc.h"
#include "cli/CliJob.h"
#include "core/AppPaths.h"
#include "core/FileUtil.h"
#include "core/Settings.h"
#include "core/TextUtil.h"
#include "core/ThreadHandoff.h"
#include "encoders/Mp3EncodeProcess.h"
#include "encoders/WMAEncodeProcess.h"
#include "metadata/CddbSource.h"
#include "metadata/MusicBrainzSource.h"
#include "metadata/QueryCDDBThread.h"
#include "pipeline/JobPlan.h"
#include "pipeline/NamePattern.h"
#include "pipeline/OutputFormats.h"
#include "pipeline/RipFiles.h"

namespace {

constexpr int kExitError = 1;
constexpr int kExitFailedTrack = 2;
constexpr int kExitInterrupted = 130;

/// No exception crosses the event loop: one that reaches it stops the job it came from.
class TCliApplication : public QCoreApplication {
public:
    using QCoreApplication::QCoreApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QCoreApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            CliLoopFailure(QString::fromUtf8(e.what()));
        } catch (...) {
            CliLoopFailure(QStringLiteral("Unknown error"));
        }
        return false;
    }
};

void Print(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

int UsageError(const QString& command, const QString& error)
{
    CliError(error);
    std::fputs(CliUsage(command).toUtf8().constData(), stderr);
    return kExitError;
}

int Fail(const QString& error)
{
    CliError(error);
    return kExitError;
}

/// The format a --format names: a row of the output formats, by name or extension.
const TOutputFormat* FormatNamed(const QString& name)
{
    for (const TOutputFormat& f : OutputFormats()) {
        if (name.compare(f.Name, Qt::CaseInsensitive) == 0 ||
            QStringLiteral(".") + name.toLower() == f.Extension.toLower())
            return &f;
    }
    return nullptr;
}

/// The output folder: --output (created when missing) or the one of options.ini.
bool PrepareOutput(const TCliArgs& args, QString& error)
{
    QString& folder = OptionsSetting().CommonOptions.OutputFolder;
    if (args.Has(QStringLiteral("output")))
        folder = QFileInfo(args.Value(QStringLiteral("output"))).absoluteFilePath();
    if (folder.isEmpty()) {
        error = QStringLiteral("no output folder: give --output");
        return false;
    }
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir()) {
        error = QStringLiteral("%1: the output folder is a file").arg(folder);
        return false;
    }
    if (!info.exists() && !QDir().mkpath(folder)) {
        error = QStringLiteral("%1: the output folder cannot be created").arg(folder);
        return false;
    }
    return true;
}

/// Names from a service for the disc (--lookup): the first match is taken. A lookup that fails
/// is said and the rip goes on with the stored names.
void LookUpNames(const QString& service, const TCliDisc& disc, TCliInterrupt& interrupt)
{
    std::unique_ptr<IDiscLookup> source;
    if (service == QLatin1String("cddb"))
        source = std::make_unique<TCddbSource>();
    else
        source = std::make_unique<TMusicBrainzSource>();
    TDiscQuery query;
    query.Key = disc.Key();
    query.Handle = disc.Handle();
    query.Toc = disc.Toc();
    QEventLoop loop;
    QObject::connect(&interrupt, &TCliInterrupt::Raised, &loop, &QEventLoop::quit);
    std::optional<TDiscFound> found;
    const auto done = [&](const TDiscFound& f) {
        found = f;
        loop.quit();
    };
    source->Find(query, done);
    loop.exec();
    if (found && found->Error.isEmpty() && !found->Candidates.empty() &&
        !found->Candidates.front().Names && !interrupt.Interrupted()) {
        found.reset();
        source->Names(0, done);
        loop.exec();
    }
    if (interrupt.Interrupted())
        return;
    if (!found || !found->Error.isEmpty()) {
        CliError(QStringLiteral("%1 lookup failed (%2); the stored names are used")
                     .arg(service, found ? found->Error : QString()));
        return;
    }
    if (found->Candidates.empty() || !found->Candidates.front().Names) {
        CliError(
            QStringLiteral("%1 does not know the disc; the stored names are used").arg(service));
        return;
    }
    const TDiscNames& names = *found->Candidates.front().Names;
    TCDInfo& info = OptionsSetting().CDInfo;
    ApplyDiscFields(names, info);
    for (const auto& [track, title] : names.Titles) {
        if (track >= 1 && track <= TCDInfo::MaxTracks && !title.isEmpty())
            info.Track[static_cast<size_t>(track)] = title;
    }
    info.AlbumArtist = names.AlbumArtist;
    info.MbReleaseId = names.ReleaseId;
    info.MbDiscId = names.DiscId;
    for (const auto& [track, id] : names.RecordingIds) {
        if (track >= 1 && track <= TCDInfo::MaxTracks)
            info.MbRecordingId[static_cast<size_t>(track)] = id;
    }
    info.Source = names.Source;
}

int PrintResults(const QStringList& labels, const QStringList& outputs, const TCliJobResult& r)
{
    bool allOk = true;
    for (qsizetype k = 0; k < labels.size(); ++k) {
        const bool ok = r.Succeeded.at(static_cast<size_t>(k));
        allOk = allOk && ok;
        QString line = QStringLiteral("%1  %2  %3")
                           .arg(ok ? QStringLiteral("ok    ") : QStringLiteral("FAILED"), labels[k],
                                ok ? outputs.value(k) : QString());
        if (ok && !r.Verified.value(k).isEmpty())
            line += QStringLiteral("  ") + r.Verified.value(k);
        Print(line + QLatin1Char('\n'));
    }
    if (!r.VerifySummary.isEmpty())
        Print(r.VerifySummary + QLatin1Char('\n'));
    if (r.Interrupted) {
        CliError(QStringLiteral("stopped; finished files are kept"));
        return kExitInterrupted;
    }
    // A mismatch against AccurateRip (or a sector paranoia could not correct) fails the rip.
    return allOk && !r.VerifyWarning ? 0 : kExitFailedTrack;
}

int Info(const TCliArgs& args)
{
    TCliDisc disc;
    QString error;
    if (!disc.Open(args.Value(QStringLiteral("device")), error))
        return Fail(error);
    LoadDiscNames(disc);
    Print(DiscInfoText(disc));
    return 0;
}

int Rip(const TCliArgs& args, TCliInterrupt& interrupt, TJobRunners runners)
{
    TCommonOptions& common = OptionsSetting().CommonOptions;
    if (args.Has(QStringLiteral("format"))) {
        const TOutputFormat* format = FormatNamed(args.Value(QStringLiteral("format")));
        if (format == nullptr)
            return UsageError(QStringLiteral("rip"),
                              QStringLiteral("--format: unknown format %1")
                                  .arg(args.Value(QStringLiteral("format"))));
        common.OutputFormat = format->Number;
    }
    if (args.Has(QStringLiteral("pattern"))) {
        const QString problem = NamePatternProblem(args.Value(QStringLiteral("pattern")));
        if (!problem.isEmpty())
            return UsageError(QStringLiteral("rip"), QStringLiteral("--pattern: ") + problem);
        common.NamePattern = args.Value(QStringLiteral("pattern"));
    }
    const QString lookup = args.Value(QStringLiteral("lookup"));
    if (args.Has(QStringLiteral("lookup")) && lookup != QLatin1String("none") &&
        lookup != QLatin1String("cddb") && lookup != QLatin1String("musicbrainz"))
        return UsageError(
            QStringLiteral("rip"),
            QStringLiteral("--lookup: %1 is not none, cddb or musicbrainz").arg(lookup));
    if (args.Has(QStringLiteral("jobs"))) {
        const std::optional<int> jobs = ParseJobCount(args.Value(QStringLiteral("jobs")));
        if (!jobs)
            return UsageError(QStringLiteral("rip"),
                              QStringLiteral("--jobs: %1 is not a number from 1 to %2")
                                  .arg(args.Value(QStringLiteral("jobs")))
                                  .arg(kMaxJobs));
        common.ParallelEncoders = *jobs; // 1: one step after another
    }
    TCliDisc disc;
    QString error;
    if (!disc.Open(args.Value(QStringLiteral("device")), error))
        return Fail(error);
    std::vector<int> tracks;
    const TocRecord& toc = disc.Toc();
    if (args.Has(QStringLiteral("tracks"))) {
        const auto named = ParseTrackList(args.Value(QStringLiteral("tracks")), toc.FirstTrack,
                                          toc.LastTrack, error);
        if (!named)
            return UsageError(QStringLiteral("rip"), error);
        for (const int t : *named) {
            if (!disc.IsAudio(t))
                return Fail(QStringLiteral("--tracks: track %1 is a data track").arg(t));
        }
        tracks = *named;
    } else {
        for (int t = toc.FirstTrack; t <= toc.LastTrack; ++t) {
            if (disc.IsAudio(t))
                tracks.push_back(t);
        }
    }
    if (!PrepareOutput(args, error))
        return Fail(error);
    LoadDiscNames(disc);
    // As the window does: a disc nobody has named is looked up when the options say so.
    const bool autoLookup = OptionsSetting().MusicBrainz.AutoLookup &&
                            OptionsSetting().CDInfo.Source == TNamesSource::None;
    if (lookup == QLatin1String("cddb") || lookup == QLatin1String("musicbrainz"))
        LookUpNames(lookup, disc, interrupt);
    else if (!args.Has(QStringLiteral("lookup")) && autoLookup)
        LookUpNames(QStringLiteral("musicbrainz"), disc, interrupt);
    if (interrupt.Interrupted())
        return kExitInterrupted;

    QStringList entries;
    for (const int t : tracks)
        entries << TwoDigits(t) + OptionsSetting().CDInfo.Track[static_cast<size_t>(t)];
    TCliQuestions questions(args.Has(QStringLiteral("overwrite")));
    const auto confirmed = ConfirmRipOutputs(entries, RipNamingOf(OptionsSetting()), questions);
    if (!confirmed)
        return kExitError;
    const std::vector<TRipEntryFiles> files = RipJobFiles(entries, RipNamingOf(OptionsSetting()));
    QStringList labels;
    QStringList outputs;
    QStringList partials;
    for (const TRipEntryFiles& f : files) {
        labels << TwoDigits(f.Track) + QStringLiteral("  ") + f.Title;
        outputs << (f.Encoded.isEmpty() ? f.Wav : f.Encoded);
        partials << (f.NameValid ? f.Wav : QString());
    }
    const TCliJobResult result =
        RunCliJob(jkRipTracks, disc.Handle(), entries, runners, partials, interrupt);
    return PrintResults(labels, outputs, result);
}

int Convert(const TCliArgs& args, TCliInterrupt& interrupt, TJobRunners runners)
{
    const QString name = args.Value(QStringLiteral("format"));
    const TOutputFormat* format = FormatNamed(name);
    if (format == nullptr)
        return UsageError(QStringLiteral("convert"),
                          QStringLiteral("--format: unknown format %1").arg(name));
    // WAV is what the other formats are made from; to it, MP3 files are decoded.
    const bool decode = format->Number == ofWAV;
    const int kind = decode ? jkMp3ToWav : format->ConvertKind;
    if (kind == 0)
        return Fail(QStringLiteral("--format: files cannot be converted to %1").arg(name));
    QString error;
    if (!PrepareOutput(args, error))
        return Fail(error);
    QStringList files;
    QStringList outputs;
    const QString ext = decode ? QStringLiteral(".wav") : format->Extension;
    for (const QString& file : args.Positional) {
        const QFileInfo info(file);
        if (!info.exists())
            return Fail(QStringLiteral("%1: no such file").arg(file));
        if (!IsRegularFile(file))
            return Fail(QStringLiteral("%1: not a regular file").arg(file));
        files << info.absoluteFilePath();
        outputs << ChangeFileExt(IncludeTrailingSlash(OptionsSetting().CommonOptions.OutputFolder) +
                                     info.fileName(),
                                 ext);
    }
    // Never written over: the job would ask, and a command line cannot answer.
    for (const QString& out : outputs) {
        if (QFileInfo::exists(out) || IsLinkOrSpecialFile(out))
            return Fail(QStringLiteral("%1 exists already; nothing was converted").arg(out));
    }
    const TCliJobResult result = RunCliJob(kind, 0, files, runners, QStringList(), interrupt);
    return PrintResults(args.Positional, outputs, result);
}

} // namespace

int main(int argc, char** argv)
{
    // A tool that exits early, or a file-size limit, fails the write instead of the program.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    TCliApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Platterly"));
    app.setApplicationVersion(QStringLiteral(PLATTERLY_VERSION));
    // A name in bytes that are not UTF-8 has no text that names the file again: say so,
    // rather than "no such file" of a file that is there.
    for (int i = 1; i < argc; ++i) {
        if (QFile::encodeName(QFile::decodeName(argv[i])) != QByteArray(argv[i]))
            return Fail(QStringLiteral("%1: the name is not valid UTF-8; rename it to use it")
                            .arg(QFile::decodeName(argv[i])));
    }
    const TCliArgs args = ParseCliArgs(app.arguments().mid(1));
    if (args.Version) {
        Print(QStringLiteral("platterly-cli " PLATTERLY_VERSION "\n"));
        return 0;
    }
    if (args.Help) {
        Print(CliUsage(args.Command));
        return 0;
    }
    if (!args.Error.isEmpty())
        return UsageError(args.Command, args.Error);

    TCliInterrupt interrupt;
    InstallHandoffObserver(&app);
    const TCliMessages messages;
    // An installed program's first command, as its first window, gets the demo disc.
    ProvideDemoDisc();
    int rc = 0;
    try {
        // The options of the window, read and never written: a command line changes nothing
        // there.
        LoadOptions();
        if (args.Command == QLatin1String("drives")) {
            Print(DriveListText());
        } else if (args.Command == QLatin1String("info")) {
            rc = Info(args);
        } else {
            LoadVorbisLibraries();
            TMp3EncodeProcess mp3;
            TWMAEncodeProcess wma;
            const TJobRunners runners{&mp3, &wma};
            rc = args.Command == QLatin1String("rip") ? Rip(args, interrupt, runners)
                                                      : Convert(args, interrupt, runners);
        }
    } catch (const std::exception& e) {
        // A job that cannot set up its first step, options.ini that cannot be read, ...
        rc = Fail(QString::fromUtf8(e.what()));
    }
    // A lookup given up on may still be leaving its network call.
    TQueryCDDBThread::StopAllAndWait(std::chrono::seconds(2));
    return rc;
}
