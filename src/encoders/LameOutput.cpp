#include "encoders/LameOutput.h"

#include <QFile>

#include "core/TextUtil.h"

namespace {

// 1-based column text of up to count characters; nothing when the column is past the end.
QString Columns(const QString& line, int64_t column, int count)
{
    if (column < 1)
        column = 1;
    if (column > line.size())
        return {};
    return line.mid(static_cast<qsizetype>(column - 1), count);
}

int32_t NumberOr(const QString& text, int32_t fallback)
{
    int32_t value = 0;
    return ParseDecimal(text, value) ? value : fallback;
}

} // namespace

std::optional<TProgressReport> ParseLameEncodeLine(const QString& line, int32_t& progressColumn)
{
    const qsizetype percentAt = line.indexOf(QLatin1Char('%'));
    if (percentAt < 0)
        return std::nullopt;
    if (progressColumn == 0)
        progressColumn = static_cast<int32_t>(percentAt + 1 - 3);
    if (progressColumn == 0)
        return std::nullopt;

    QString digits = TrimControl(Columns(line, progressColumn, 3));
    if (digits.startsWith(QLatin1Char('(')))
        digits.remove(0, 1);
    const int32_t percent = NumberOr(digits, 0);
    if (percent < 1 || percent > 100)
        return std::nullopt;
    TProgressReport report;
    report.Percent = percent;
    report.ElapsedText = TrimControl(Columns(line, 21, 8));
    report.TotalText = TrimControl(Columns(line, 30, 8));
    return report;
}

std::optional<TProgressReport> ParseLameDecodeLine(const QString& line, int32_t& progressColumn,
                                                   int64_t elapsedSeconds)
{
    if (progressColumn == 0) {
        const qsizetype hashAt = line.indexOf(QLatin1Char('#'));
        if (hashAt >= 0)
            progressColumn = static_cast<int32_t>(hashAt + 1 + 1);
    }
    if (progressColumn == 0)
        return std::nullopt;

    const int64_t done = NumberOr(TrimControl(Columns(line, progressColumn, 6)), -1);
    const int64_t total = NumberOr(TrimControl(Columns(line, int64_t{progressColumn} + 7, 6)), -1);
    if (done == -1 || total == -1 || total == 0)
        return std::nullopt;
    const int64_t percent = done * 100 / total;
    if (percent < 1 || percent > 100)
        return std::nullopt;
    TProgressReport report;
    report.Percent = static_cast<int32_t>(percent);
    report.ElapsedText = Mmss(elapsedSeconds);
    report.TotalText = Mmss(
        RoundHalfEven(static_cast<double>(elapsedSeconds) * 100.0 / static_cast<double>(percent)));
    return report;
}

bool DecodedWavIsWhole(const QByteArray& head, qint64 fileSize)
{
    const auto le32 = [&](qsizetype at) {
        return qint64(uint8_t(head[at])) | qint64(uint8_t(head[at + 1])) << 8 |
               qint64(uint8_t(head[at + 2])) << 16 | qint64(uint8_t(head[at + 3])) << 24;
    };
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
        return false;
    for (qint64 at = 12; at + 8 <= head.size();) {
        const qint64 size = le32(at + 4);
        if (head.mid(at, 4) == "data")
            return at + 8 + size <= fileSize;
        at += 8 + size + (size & 1);
    }
    return false;
}

namespace {

/// The length in bytes of the MPEG audio frame whose header starts at p, or 0 when the four
/// bytes are no valid header (free-format bitrates count as invalid).
int MpegFrameLength(const uint8_t* p)
{
    static const int kBitrates[5][14] = {
        {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}, // MPEG-1 layer I
        {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},    // MPEG-1 layer II
        {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},     // MPEG-1 layer III
        {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},    // MPEG-2 layer I
        {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},         // MPEG-2 II, III
    };
    static const int kRates[4][3] = {
        {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    const int version = (p[1] >> 3) & 3;     // 0: 2.5, 2: 2, 3: 1
    const int layer = 4 - ((p[1] >> 1) & 3); // 1..3; 4 is reserved
    const int bitrateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 3;
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0 || version == 1 || layer == 4 || bitrateIndex == 0 ||
        bitrateIndex == 15 || rateIndex == 3)
        return 0;
    const bool mpeg1 = version == 3;
    const int table = mpeg1 ? layer - 1 : (layer == 1 ? 3 : 4);
    const int bitrate = kBitrates[table][bitrateIndex - 1] * 1000;
    const int rate = kRates[version][rateIndex];
    const int padding = (p[2] >> 1) & 1;
    if (layer == 1)
        return (12 * bitrate / rate + padding) * 4;
    return (layer == 3 && !mpeg1 ? 72 : 144) * bitrate / rate + padding;
}

} // namespace

bool StartsLikeMp3(const QByteArray& head)
{
    if (head.startsWith("ID3"))
        return true;
    const auto* p = reinterpret_cast<const uint8_t*>(head.constData());
    const qsizetype size = head.size();
    if (size < 4)
        return false;
    const int length = MpegFrameLength(p);
    if (length == 0)
        return false;
    // A file of one frame ends where the next would start.
    return length + 4 > size ? length >= size : MpegFrameLength(p + length) != 0;
}

bool FileStartsLikeMp3(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && StartsLikeMp3(file.read(kMp3HeadBytes));
}

QString NotAnMp3Text(const QString& path)
{
    return path + QStringLiteral(" is not an MP3 file.");
}
