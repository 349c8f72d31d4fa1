#include "platform/profile/ProfileText.h"

#include <QStringDecoder>

namespace {

// Code points of bytes 0x80..0x9F in Windows-1252; the rest of the page equals Latin-1.
// Unassigned positions map to the C1 control of the same value.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QByteArray CleanLine(QByteArray line)
{
    qsizetype out = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 && c != '\t')
            continue;
        line[out++] = line[i];
    }
    line.truncate(out);
    if (!IsValidUtf8(line))
        line = FromWindows1252(line).toUtf8();
    return line;
}

} // namespace

bool IsValidUtf8(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= n)
            return false;
        for (int k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += extra + 1;
    }
    return true;
}

QString FromWindows1252(const QByteArray& bytes)
{
    QString s;
    s.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80 && c < 0xA0)
            s.append(QChar(kCp1252High[c - 0x80]));
        else
            s.append(QChar(static_cast<char16_t>(c)));
    }
    return s;
}

QList<QByteArray> SplitProfileLines(const QByteArray& fileBytes)
{
    QByteArray text = fileBytes;
    if (text.startsWith("\xEF\xBB\xBF")) {
        text.remove(0, 3);
    } else if (text.startsWith("\xFF\xFE")) {
        QStringDecoder utf16(QStringDecoder::Utf16LE);
        const QString decoded = utf16.decode(QByteArrayView(text).sliced(2));
        text = decoded.toUtf8();
    }

    QList<QByteArray> lines;
    const char* p = text.constData();
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (p[i] == '\r' || p[i] == '\n') {
            lines.append(CleanLine(QByteArray(p + start, i - start)));
            if (p[i] == '\r' && i + 1 < n && p[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines.append(CleanLine(QByteArray(p + start, n - start)));
    return lines;
}

int32_t ParseProfileInteger(const QString& text, int32_t def)
{
    const QString t = text.trimmed();
    if (t.size() > 2 && t[0] == QLatin1Char('0') &&
        (t[1] == QLatin1Char('x') || t[1] == QLatin1Char('X'))) {
        const QStringView digits = QStringView(t).sliced(2);
        if (digits.size() > 8)
            return def;
        bool ok = false;
        const uint v = digits.toUInt(&ok, 16);
        if (!ok)
            return def;
        return static_cast<int32_t>(v);
    }
    if (t.isEmpty())
        return def;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        const bool sign = i == 0 && (c == QLatin1Char('-') || c == QLatin1Char('+'));
        if (!sign && (c < QLatin1Char('0') || c > QLatin1Char('9')))
            return def;
    }
    bool ok = false;
    const int v = t.toInt(&ok, 10);
    return ok ? static_cast<int32_t>(v) : def;
}
