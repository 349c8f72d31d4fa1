#pragma once

#include <vector>

#include <QString>
#include <QStringList>

struct TCommonOptions;

/// The files one entry of a CD rip ("01" + title) writes. Every step that names a rip's file
/// (the extraction, the encode step, the clean-up, the overwrite question) takes it from here.
struct TRipEntryFiles {
    int Track = 0;   ///< track number on the disc
    QString Title;   ///< the row's title
    QString Wav;     ///< the extracted WAV, also the encode step's input
    QString Encoded; ///< the encoded file; empty when the output format is WAV
    /// The title can name a file here; when not, the track fails and nothing is written.
    bool NameValid = false;

    /// The files the entry writes, WAV first.
    QStringList All() const;
};

/// The files of one rip entry with the given settings (output folder and format).
TRipEntryFiles RipEntryFiles(const QString& entry, const TCommonOptions& options);

/// The files of every entry of a rip, in the job's order.
std::vector<TRipEntryFiles> RipJobFiles(const QStringList& entries, const TCommonOptions& options);
