#include "pipeline/NamePattern.h"

#include <cerrno>

#include <sys/stat.h>

#include <QFile>
#include <QSet>

#include "core/FileUtil.h"
#include "core/TextUtil.h"

namespace {

// Room for an extension and a " (99)" after a component, under the usual 255-byte limit.
constexpr qsizetype kMaxComponentBytes = 240;

bool IsDroppedCodePoint(char32_t c)
{
    // Controls, and the bidirectional overrides that make a name display as something else.
    return c < 0x20 || (c >= 0x7f && c < 0xa0) || (c >= 0x202a && c <= 0x202e) ||
           (c >= 0x2066 && c <= 0x2069);
}

int Utf8Length(char32_t c)
{
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

QString TrimEnds(QString text)
{
    qsizetype start = 0;
    while (start < text.size() && text[start] == QLatin1Char('.'))
        ++start;
    qsizetype end = text.size();
    while (end > start && (text[end - 1] == QLatin1Char('.') || text[end - 1].isSpace()))
        --end;
    return text.mid(start, end - start);
}

QString ValueOr(const QString& value, const char* unknown)
{
    const QString safe = SafeNameComponent(value.trimmed());
    return safe.isEmpty() ? QString::fromLatin1(unknown) : safe;
}

} // namespace

QString SafeNameComponent(const QString& text)
{
    QString out;
    out.reserve(text.size());
    qsizetype bytes = 0;
    bool full = false;
    for (qsizetype i = 0; i < text.size() && !full; ++i) {
        char32_t c = text[i].unicode();
        QString piece;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            piece = text.mid(i, 2);
            ++i;
        } else if (QChar::isSurrogate(c)) {
            continue; // half a character from a damaged file: no file system takes it
        } else if (c == U'/' || c == U'\\') {
            piece = QStringLiteral("-");
        } else {
            piece = text.mid(i, 1);
        }
        if (IsDroppedCodePoint(c))
            continue;
        const int n = Utf8Length(c == U'/' || c == U'\\' ? U'-' : c);
        if (bytes + n > kMaxComponentBytes) {
            full = true;
            break;
        }
        bytes += n;
        out += piece;
    }
    return TrimEnds(out);
}

QString NamePatternProblem(const QString& pattern)
{
    if (pattern.isEmpty())
        return {};
    if (pattern.startsWith(QLatin1Char('/')))
        return QStringLiteral("The name pattern must not start with \"/\": it names a path "
                              "inside the output folder.");
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != QLatin1Char('%'))
            continue;
        if (i + 1 == pattern.size())
            return QStringLiteral("The name pattern ends with a single \"%\"; write \"%%\" for "
                                  "a percent sign.");
        const QChar token = pattern[++i];
        if (!QStringLiteral("AdygnNt%").contains(token))
            return QStringLiteral("The name pattern holds the unknown token \"%%1\".").arg(token);
    }
    const QStringList parts = pattern.split(QLatin1Char('/'));
    for (const QString& part : parts) {
        const QString trimmed = part.trimmed();
        if (trimmed == QLatin1String(".") || trimmed == QLatin1String(".."))
            return QStringLiteral("The name pattern must not hold \"%1\": every file stays "
                                  "inside the output folder.")
                .arg(trimmed);
    }
    if (parts.last().trimmed().isEmpty())
        return QStringLiteral("The name pattern has no file name after its last \"/\".");
    return {};
}

QString ExpandNamePattern(const QString& pattern, const TNameFields& fields)
{
    const QString usable = NamePatternProblem(pattern).isEmpty() && !pattern.isEmpty()
                               ? pattern
                               : QStringLiteral("%t");
    QStringList components;
    for (const QString& part : usable.split(QLatin1Char('/'))) {
        QString component;
        for (qsizetype i = 0; i < part.size(); ++i) {
            if (part[i] != QLatin1Char('%') || i + 1 == part.size()) {
                component += part[i];
                continue;
            }
            switch (part[++i].unicode()) {
            case 'A':
                component += ValueOr(fields.Artist, "Unknown Artist");
                break;
            case 'd':
                component += ValueOr(fields.Album, "Unknown Album");
                break;
            case 'y':
                component += ValueOr(fields.Year, "Unknown Year");
                break;
            case 'g':
                component += ValueOr(fields.Genre, "Unknown Genre");
                break;
            case 't':
                component += ValueOr(fields.Title, "Unknown Title");
                break;
            case 'n':
                component += TwoDigits(fields.Number);
                break;
            case 'N':
                component += TwoDigits(fields.Count);
                break;
            default:
                component += part[i];
                break; // "%%"
            }
        }
        // The pattern's own text is made safe too: its blanks and dots meet the values'.
        component = SafeNameComponent(component);
        if (!component.isEmpty())
            components += component;
    }
    if (components.isEmpty())
        components += QStringLiteral("Unknown Title");
    return components.join(QLatin1Char('/'));
}

QStringList DistinctNames(const QStringList& paths)
{
    QStringList out;
    QSet<QString> taken;
    for (const QString& path : paths) {
        QString name = path;
        for (int n = 2; taken.contains(name.toCaseFolded()); ++n)
            name = path + QStringLiteral(" (%1)").arg(n);
        taken.insert(name.toCaseFolded());
        out += name;
    }
    return out;
}

QString MakeNameFolders(const QString& folder, const QString& relativePath)
{
    const QStringList parts = relativePath.split(QLatin1Char('/'));
    QString path = IncludeTrailingSlash(folder);
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const QString& part = parts[i];
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return QStringLiteral("%1 is not a folder name; nothing was written.").arg(part);
        path += part;
        const QByteArray native = QFile::encodeName(path);
        struct stat st {};
        if (::lstat(native.constData(), &st) == 0) {
            if (!S_ISDIR(st.st_mode))
                return QStringLiteral("%1 is a link or not a folder; nothing was written into "
                                      "it.")
                    .arg(path);
        } else if (::mkdir(native.constData(), 0777) != 0 && errno != EEXIST) {
            return QStringLiteral("Cannot create %1: %2").arg(path, SystemErrorText(errno));
        } else if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            return QStringLiteral("%1 is a link or not a folder; nothing was written into it.")
                .arg(path);
        }
        path += QLatin1Char('/');
    }
    return {};
}
