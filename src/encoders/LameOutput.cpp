#include "encoders/LameOutput.h"

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
