#pragma once

#include <map>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

/// A command line split into its command, its options and its other arguments, with what was
/// wrong with it. Parsing knows each command's options, so an unknown one or one without its
/// value is a usage error before anything is opened.
struct TCliArgs {
    QString Command;                   ///< "drives", "info", "rip", "convert"; empty for none
    std::map<QString, QString> Values; ///< option name (without "--") -> value ("" for a flag)
    QStringList Positional;
    bool Help = false;
    bool Version = false;
    QString Error; ///< one line naming what was wrong; empty when the line is usable

    bool Has(const QString& name) const { return Values.count(name) != 0; }
    QString Value(const QString& name) const
    {
        const auto it = Values.find(name);
        return it == Values.end() ? QString() : it->second;
    }
};

/// Splits the arguments after the program's name.
TCliArgs ParseCliArgs(const QStringList& args);

/// The usage of a command (the general one for an empty or unknown command).
QString CliUsage(const QString& command);

/// The tracks a --tracks list names ("1,3-5"), in disc order and each once, checked against
/// the disc's track numbers; nothing (and the reason in error) for a list that is malformed or
/// names a track the disc does not have.
std::optional<std::vector<int>> ParseTrackList(const QString& text, int firstTrack, int lastTrack,
                                               QString& error);

/// The number of parallel jobs --jobs asks for, 1..kMaxJobs; nothing for anything else.
inline constexpr int kMaxJobs = 16;
std::optional<int> ParseJobCount(const QString& text);
