#include "cli/CliArgs.h"

#include <set>

namespace {

struct TCommandShape {
    const char* Name;
    std::vector<const char*> Options; ///< options that take a value
    std::vector<const char*> Flags;   ///< options that do not
    bool TakesFiles;
};

const std::vector<TCommandShape>& Commands()
{
    static const std::vector<TCommandShape> commands = {
        {"drives", {}, {}, false},
        {"info", {"device"}, {}, false},
        {"rip",
         {"device", "format", "output", "pattern", "tracks", "lookup", "jobs"},
         {"overwrite"},
         false},
        {"convert", {"format", "output"}, {}, true},
    };
    return commands;
}

const TCommandShape* CommandShape(const QString& name)
{
    for (const TCommandShape& c : Commands()) {
        if (name == QLatin1String(c.Name))
            return &c;
    }
    return nullptr;
}

bool Contains(const std::vector<const char*>& names, const QString& name)
{
    for (const char* n : names) {
        if (name == QLatin1String(n))
            return true;
    }
    return false;
}

bool ParseNumber(const QString& text, int& value)
{
    bool ok = false;
    value = text.trimmed() == text ? text.toInt(&ok, 10) : 0;
    return ok;
}

} // namespace

TCliArgs ParseCliArgs(const QStringList& args)
{
    TCliArgs out;
    const TCommandShape* shape = nullptr;
    bool filesOnly = false; // after "--" every argument is a file
    for (qsizetype i = 0; i < args.size() && out.Error.isEmpty(); ++i) {
        const QString& arg = args[i];
        if (!filesOnly && arg == QLatin1String("--")) {
            filesOnly = true;
        } else if (!filesOnly && (arg == QLatin1String("--help") || arg == QLatin1String("-h"))) {
            out.Help = true;
        } else if (!filesOnly && arg == QLatin1String("--version")) {
            out.Version = true;
        } else if (!filesOnly && arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            const qsizetype eq = arg.indexOf(QLatin1Char('='));
            const QString name = arg.mid(2, eq < 0 ? -1 : eq - 2);
            if (!arg.startsWith(QLatin1String("--")) || shape == nullptr ||
                (!Contains(shape->Options, name) && !Contains(shape->Flags, name))) {
                out.Error = QStringLiteral("unknown option %1").arg(eq < 0 ? arg : arg.left(eq));
            } else if (Contains(shape->Flags, name)) {
                if (eq >= 0)
                    out.Error = QStringLiteral("--%1 takes no value").arg(name);
                out.Values[name] = QString();
            } else if (eq >= 0) {
                out.Values[name] = arg.mid(eq + 1);
            } else if (i + 1 < args.size()) {
                out.Values[name] = args[++i];
            } else {
                out.Error = QStringLiteral("--%1 needs a value").arg(name);
            }
        } else if (out.Command.isEmpty()) {
            out.Command = arg;
            shape = CommandShape(arg);
            if (shape == nullptr)
                out.Error = QStringLiteral("unknown command %1").arg(arg);
        } else if (shape != nullptr && shape->TakesFiles) {
            out.Positional << arg;
        } else {
            out.Error = QStringLiteral("unexpected argument %1").arg(arg);
        }
    }
    if (!out.Error.isEmpty() || out.Help || out.Version)
        return out;
    if (out.Command.isEmpty())
        out.Error = QStringLiteral("no command given");
    else if ((out.Command == QLatin1String("info") || out.Command == QLatin1String("rip")) &&
             out.Value(QStringLiteral("device")).isEmpty())
        out.Error = QStringLiteral("--device is missing");
    else if (out.Command == QLatin1String("convert") && out.Positional.isEmpty())
        out.Error = QStringLiteral("no file to convert given");
    else if (out.Command == QLatin1String("convert") && !out.Has(QStringLiteral("format")))
        out.Error = QStringLiteral("--format is missing");
    return out;
}

QString CliUsage(const QString& command)
{
    const QString formats = QStringLiteral("wav|mp3|ogg|wma|flac|opus");
    if (command == QLatin1String("drives"))
        return QStringLiteral("usage: platterly-cli drives\n"
                              "  Lists the CD drives and the disc images of the discs folder,\n"
                              "  with the number of tracks of the disc in each.\n");
    if (command == QLatin1String("info"))
        return QStringLiteral(
            "usage: platterly-cli info --device D\n"
            "  Prints the disc's table of contents, its disc key, CDDB, MusicBrainz and\n"
            "  AccurateRip ids, and the names stored for it.\n"
            "  D is a drive's device path or name (see \"drives\"), or a .cue or .toc image.\n");
    if (command == QLatin1String("rip"))
        return QStringLiteral(
                   "usage: platterly-cli rip --device D [--format %1] [--output DIR]\n"
                   "           [--pattern P] [--tracks 1,3-5] [--lookup none|cddb|musicbrainz]\n"
                   "           [--jobs N] [--overwrite]\n"
                   "  Rips the disc's audio tracks (all of them unless --tracks names some).\n"
                   "  Settings not given come from options.ini. Existing files are not\n"
                   "  replaced unless --overwrite is given. --jobs N (1 to %2) encodes up to\n"
                   "  N tracks at once while the drive reads on; 1 does one step after another.\n"
                   "  Pattern tokens: %A artist, %d album, %y year, %g genre, %n track number,\n"
                   "  %N number of tracks, %t title, %% a percent sign; \"/\" makes folders.\n"
                   "  Exit status: 0 all tracks ripped, 1 an error, 2 a track failed,\n"
                   "  130 stopped by Ctrl+C (finished tracks are kept, partial files removed).\n")
            .arg(formats)
            .arg(kMaxJobs);
    if (command == QLatin1String("convert"))
        return QStringLiteral(
                   "usage: platterly-cli convert FILE... --format %1 [--output DIR]\n"
                   "  Converts WAV files to the format (MP3 files to WAV with --format wav) into\n"
                   "  the output folder. Existing files are not replaced.\n"
                   "  Exit status: 0 all converted, 1 an error, 2 a file failed, 130 Ctrl+C.\n")
            .arg(formats);
    return QStringLiteral("usage: platterly-cli COMMAND [OPTIONS]\n"
                          "  drives    list the drives and disc images\n"
                          "  info      print a disc's table of contents, ids and names\n"
                          "  rip       rip a disc's tracks\n"
                          "  convert   convert audio files\n"
                          "  --help    this text (COMMAND --help: the command's)\n"
                          "  --version the version\n");
}

std::optional<std::vector<int>> ParseTrackList(const QString& text, int firstTrack, int lastTrack,
                                               QString& error)
{
    std::set<int> tracks;
    const QString disc = QStringLiteral("the disc has tracks %1-%2").arg(firstTrack).arg(lastTrack);
    for (const QString& part : text.split(QLatin1Char(','))) {
        const qsizetype dash = part.indexOf(QLatin1Char('-'));
        int from = 0;
        int to = 0;
        if (!ParseNumber(dash < 0 ? part : part.left(dash), from) ||
            !ParseNumber(dash < 0 ? part : part.mid(dash + 1), to) || from < 0 || to < 0) {
            error = QStringLiteral("--tracks: %1 is not a track number or range").arg(part);
            return std::nullopt;
        }
        if (to < from) {
            error = QStringLiteral("--tracks: %1 ends before it starts").arg(part);
            return std::nullopt;
        }
        for (const int t : {from, to}) {
            if (t < firstTrack || t > lastTrack) {
                error = QStringLiteral("--tracks: no track %1 (%2)").arg(t).arg(disc);
                return std::nullopt;
            }
        }
        for (int t = from; t <= to; ++t)
            tracks.insert(t);
    }
    return std::vector<int>(tracks.begin(), tracks.end());
}

std::optional<int> ParseJobCount(const QString& text)
{
    int n = 0;
    if (!ParseNumber(text, n) || n < 1 || n > kMaxJobs)
        return std::nullopt;
    return n;
}
