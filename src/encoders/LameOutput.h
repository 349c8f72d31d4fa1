#pragma once

#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QString>

#include "encoders/ToolOutput.h"

// Parsers for the progress lines of the lame program. Both keep the column they found on the
// first matching line in progressColumn (1-based, 0 = not found yet) for the whole invocation.

/// Encoding: the column is the first "%" minus 3, fixed by the first line that has a "%"
/// (a result of 0 keeps looking; a negative one counts as found). The three characters there,
/// trimmed and without a leading "(", are the percentage; columns 21-28 and 30-37 give the
/// elapsed and total texts. A report comes only for 1..100 percent.
std::optional<TProgressReport> ParseLameEncodeLine(const QString& line, int32_t& progressColumn);

/// Decoding: the column is the first "#" plus 1; "done" is the six characters there and
/// "total" the six characters seven further on. The percentage is done x 100 / total; the texts
/// are elapsedSeconds and the estimated total (elapsed x 100 / percent, halves to even) as
/// mm:ss. A report comes only for 1..100 percent.
std::optional<TProgressReport> ParseLameDecodeLine(const QString& line, int32_t& progressColumn,
                                                   int64_t elapsedSeconds);

/// How much of a decoded WAV's start DecodedWavIsWhole needs to see.
constexpr qint64 kDecodedWavHeadBytes = 4096;
/// Whether a WAV lame decoded holds every byte its data chunk declares: head is the file's
/// start, fileSize its length. A file without a RIFF WAVE header or data chunk is not whole.
bool DecodedWavIsWhole(const QByteArray& head, qint64 fileSize);

/// Whether a file's start (head, its first kMp3HeadBytes bytes or all of a shorter file) is
/// that of an MP3 file: an ID3v2 tag, or an MPEG audio frame whose next frame follows where its
/// length says. lame --decode takes any other file for raw PCM and "decodes" it into noise.
constexpr qint64 kMp3HeadBytes = 8192;
bool StartsLikeMp3(const QByteArray& head);
/// StartsLikeMp3 on the start of a file; false when it cannot be read.
bool FileStartsLikeMp3(const QString& path);
/// What a decode step says of an input FileStartsLikeMp3 refused: "<path> is not an MP3 file."
QString NotAnMp3Text(const QString& path);
