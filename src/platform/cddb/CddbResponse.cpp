#include "platform/cddb/CddbResponse.h"

#include <algorithm>

#include <QStringDecoder>

namespace {

bool IsControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}

QString DecodeLine(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes.data(), bytes.size());
    text.removeIf([](QChar c) { return IsControl(c.unicode()); });
    // A BOM at the start of an answer is no text either.
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    return text;
}

bool IsToken(const QString& s, qsizetype maxLength)
{
    if (s.isEmpty() || s.size() > maxLength)
        return false;
    for (const QChar c : s) {
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7f)
            return false;
    }
    return true;
}

bool IsHexId(const QString& s)
{
    if (s.isEmpty() || s.size() > 8)
        return false;
    for (const QChar c : s) {
        if (!(c.isDigit() || (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
              (c >= QLatin1Char('A') && c <= QLatin1Char('F'))))
            return false;
    }
    return true;
}

bool IsTerminator(const QString& line)
{
    return line == QLatin1String(".");
}

/// The index of the "." line that ends the lines after the status line; -1 when it never
/// came (the answer was cut short).
qsizetype ListEnd(const QStringList& lines)
{
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (IsTerminator(lines[i]))
            return i;
    }
    return -1;
}

} // namespace

QStringList DecodeCddbLines(const QByteArray& body)
{
    QStringList lines;
    qsizetype start = 0;
    while (start < body.size()) {
        qsizetype end = body.indexOf('\n', start);
        const qsizetype next = end < 0 ? body.size() : end + 1;
        if (end < 0)
            end = body.size();
        qsizetype stop = end;
        if (stop > start && body[stop - 1] == '\r')
            --stop;
        lines << DecodeLine(QByteArrayView(body).sliced(start, stop - start));
        start = next;
    }
    return lines;
}

int CddbStatusCode(const QString& line)
{
    if (line.size() < 3)
        return -1;
    for (int i = 0; i < 3; ++i) {
        if (line[i] < QLatin1Char('0') || line[i] > QLatin1Char('9'))
            return -1;
    }
    if (line.size() > 3 && line[3] != QLatin1Char(' '))
        return -1;
    return line.left(3).toInt();
}

bool ParseCddbMatchLine(const QString& line, CddbMatch& match)
{
    const QString trimmed = line.trimmed();
    const qsizetype a = trimmed.indexOf(QLatin1Char(' '));
    if (a <= 0)
        return false;
    const QString rest = trimmed.mid(a + 1).trimmed();
    qsizetype b = rest.indexOf(QLatin1Char(' '));
    const QString category = trimmed.left(a);
    const QString id = b < 0 ? rest : rest.left(b);
    if (!IsToken(category, 64) || !IsHexId(id))
        return false;
    match.Category = category;
    match.DiscId = id;
    match.Title = b < 0 ? QString() : rest.mid(b + 1).trimmed().left(256);
    return true;
}

CddbQueryAnswer ParseCddbQueryAnswer(const QByteArray& body, int capacity)
{
    CddbQueryAnswer answer;
    const QStringList lines = DecodeCddbLines(body);
    if (lines.isEmpty())
        return answer;
    answer.Status = CddbStatusCode(lines.front());
    answer.StatusLine = lines.front();
    switch (answer.Status) {
    case 200: {
        CddbMatch m;
        if (!ParseCddbMatchLine(lines.front().mid(4), m))
            return answer;
        answer.Ok = true;
        if (capacity > 0)
            answer.Matches.push_back(m);
        return answer;
    }
    case 210:
    case 211: {
        const qsizetype end = ListEnd(lines);
        if (end < 0) {
            answer.Cut = true;
            return answer;
        }
        answer.Ok = true;
        for (qsizetype i = 1; i < end; ++i) {
            if (static_cast<int>(answer.Matches.size()) >= capacity)
                break;
            CddbMatch m;
            if (ParseCddbMatchLine(lines[i], m))
                answer.Matches.push_back(m);
        }
        return answer;
    }
    case 202:
        answer.Ok = true;
        return answer;
    default:
        return answer;
    }
}

CddbReadAnswer ParseCddbReadAnswer(const QByteArray& body, int bufferSize)
{
    CddbReadAnswer answer;
    const QStringList lines = DecodeCddbLines(body);
    if (lines.isEmpty())
        return answer;
    answer.Status = CddbStatusCode(lines.front());
    answer.StatusLine = lines.front();
    if (answer.Status != 210)
        return answer;
    if (bufferSize <= 0) {
        answer.TooLong = true;
        return answer;
    }
    const qsizetype end = ListEnd(lines);
    if (end < 0) {
        answer.Cut = true;
        return answer;
    }
    QString record;
    for (qsizetype i = 1; i < end; ++i) {
        if (i > 1)
            record += QLatin1Char('\n');
        record += lines[i];
        if (record.size() >= bufferSize) {
            answer.TooLong = true;
            return answer;
        }
    }
    answer.Ok = true;
    answer.Record = record;
    return answer;
}
