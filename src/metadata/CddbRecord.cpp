#include "metadata/CddbRecord.h"

#include <QStringView>

#include "metadata/Genres.h"

namespace {

constexpr int kMaxTitleIndex = 98; // an audio CD has at most 99 tracks

/// n of a "TTITLEn" key written the canonical way (digits, no sign, no leading zero).
std::optional<int> TitleIndex(QStringView key)
{
    static const QLatin1String prefix("TTITLE");
    if (!key.startsWith(prefix))
        return std::nullopt;
    const QStringView digits = key.mid(prefix.size());
    if (digits.isEmpty() || digits.size() > 2 ||
        (digits.size() > 1 && digits[0] == QLatin1Char('0')))
        return std::nullopt;
    int n = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        n = n * 10 + (c.unicode() - '0');
    }
    if (n > kMaxTitleIndex)
        return std::nullopt;
    return n;
}

QString Unescaped(const QString& raw)
{
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw[i];
        if (c == QLatin1Char('\\') && i + 1 < raw.size()) {
            const QChar next = raw[i + 1];
            if (next == QLatin1Char('n') || next == QLatin1Char('t')) {
                out += QLatin1Char(' ');
                ++i;
                continue;
            }
            if (next == QLatin1Char('\\')) {
                out += QLatin1Char('\\');
                ++i;
                continue;
            }
        }
        // Control characters never reach a name, whatever delivered the record.
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f))
            continue;
        out += c;
    }
    return out.trimmed();
}

void Append(std::optional<QString>& field, QStringView part)
{
    if (!field)
        field = QString();
    field->append(part);
}

} // namespace

TCddbRecord ParseCddbRecord(const QString& text)
{
    TCddbRecord raw;
    std::map<int, QString> titles;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        const QStringView line = QStringView(text).mid(start, end - start);
        start = end + 1;
        const QStringView trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QStringView key = line.left(eq).trimmed();
        const QStringView value = line.mid(eq + 1);
        if (key == QLatin1String("DTITLE"))
            Append(raw.DTitle, value);
        else if (key == QLatin1String("DYEAR"))
            Append(raw.DYear, value);
        else if (key == QLatin1String("DGENRE"))
            Append(raw.DGenre, value);
        else if (const std::optional<int> n = TitleIndex(key))
            titles[*n].append(value);
    }
    TCddbRecord record;
    if (raw.DTitle)
        record.DTitle = Unescaped(*raw.DTitle);
    if (raw.DYear)
        record.DYear = Unescaped(*raw.DYear);
    if (raw.DGenre)
        record.DGenre = Unescaped(*raw.DGenre);
    for (const auto& [n, value] : titles)
        record.Titles[n] = Unescaped(value);
    return record;
}

TDiscTitle SplitDTitle(const QString& value)
{
    qsizetype at = value.indexOf(QLatin1String(" / "));
    qsizetype width = 3;
    if (at < 0) {
        at = value.indexOf(QLatin1Char('/'));
        width = 1;
    }
    if (at < 0)
        return {value.trimmed(), value.trimmed()};
    return {value.left(at).trimmed(), value.mid(at + width).trimmed()};
}

bool AddCddbRecord(const TCddbRecord& record, int first, int last, TDiscNames& result)
{
    result.Source = TNamesSource::Cddb;
    if (record.DTitle) {
        const TDiscTitle t = SplitDTitle(*record.DTitle);
        result.Artist = t.Artist;
        result.Album = t.Album;
    }
    if (record.DYear)
        result.Year = *record.DYear;
    if (record.DGenre) {
        // Only the 148 names count; the list's empty first entry is no genre.
        const int position = record.DGenre->isEmpty() ? -1 : GenrePositionOf(*record.DGenre);
        result.Genre = position > 0 ? position : -1;
    }
    if (record.Titles.find(0) == record.Titles.end())
        return false;
    for (const auto& [n, title] : record.Titles) {
        const int track = first + n;
        if (track > last || title.isEmpty())
            continue;
        result.Titles[track] = title;
    }
    result.HasTitles = true;
    return true;
}
