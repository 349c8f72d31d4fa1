#include "platform/profile/ProfileFile.h"

#include <cstring>

#include <QFile>

#include "core/AppException.h"
#include "platform/profile/AtomicFile.h"
#include "platform/profile/ProfileText.h"

namespace {

/// A "[name]" line gives its name (up to "]" or the end of the line, as Windows reads it).
bool SectionName(const QByteArray& raw, QString& name)
{
    const QByteArray t = raw.trimmed();
    if (!t.startsWith('['))
        return false;
    qsizetype end = t.indexOf(']');
    if (end < 0)
        end = t.size();
    name = QString::fromUtf8(t.mid(1, end - 1)).trimmed();
    return true;
}

bool KeyName(const QByteArray& raw, QString& key)
{
    const QByteArray t = raw.trimmed();
    if (t.isEmpty() || t.startsWith(';'))
        return false;
    const qsizetype eq = t.indexOf('=');
    if (eq < 0)
        return false;
    key = QString::fromUtf8(t.left(eq)).trimmed();
    return true;
}

QString ValueOf(const QByteArray& raw)
{
    const qsizetype eq = raw.indexOf('=');
    QString v = QString::fromUtf8(raw.mid(eq + 1)).trimmed();
    if (v.size() >= 2 && v.startsWith(QLatin1Char('"')) && v.endsWith(QLatin1Char('"')))
        v = v.mid(1, v.size() - 2);
    return v;
}

/// Line breaks inside a value would split it into two lines; keep it on one.
QByteArray OneLine(const QString& text)
{
    QString t = text;
    for (QChar& c : t) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            c = QLatin1Char(' ');
    }
    return t.toUtf8();
}

/// True when the text is already what Serialize writes: valid UTF-8, CRLF line ends, no
/// control characters but tab. Files this program wrote always are.
bool IsCanonical(const QByteArray& text)
{
    const char* p = text.constData();
    const qsizetype n = text.size();
    if (text.startsWith("\xEF\xBB\xBF") || (n > 0 && p[n - 1] != '\n'))
        return false;
    for (qsizetype i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        if (c >= 0x20 || c == '\t')
            continue;
        if (c == '\r' && i + 1 < n && p[i + 1] == '\n') {
            ++i;
            continue;
        }
        return false;
    }
    return IsValidUtf8(text);
}

} // namespace

TProfileFile::TProfileFile(const QString& path) : path_(path)
{
    QFile f(path);
    QByteArray bytes;
    if (!path.isEmpty() && f.open(QIODevice::ReadOnly))
        bytes = f.readAll();
    Parse(std::move(bytes));
}

void TProfileFile::Parse(QByteArray bytes)
{
    if (!IsCanonical(bytes)) {
        // Damaged, legacy-encoded or LF files: normalise once, line by line.
        const QList<QByteArray> lines = SplitProfileLines(bytes);
        bytes.clear();
        for (const QByteArray& line : lines) {
            bytes += line;
            bytes += "\r\n";
        }
    }
    text_ = std::move(bytes);
    sections_.clear();
    index_.clear();
    sections_.push_back(Section{});

    const char* p = text_.constData();
    const qsizetype n = text_.size();
    qsizetype lineStart = 0;
    while (lineStart < n) {
        const char* nl = static_cast<const char*>(
            std::memchr(p + lineStart, '\n', static_cast<size_t>(n - lineStart)));
        const qsizetype next = nl != nullptr ? (nl - p) + 1 : n;
        qsizetype i = lineStart;
        while (i < next && (p[i] == ' ' || p[i] == '\t'))
            ++i;
        if (i < next && p[i] == '[') {
            QString name;
            SectionName(QByteArray::fromRawData(p + lineStart, next - lineStart - 2), name);
            sections_.back().end = lineStart;
            Section s;
            s.nameLower = name.toLower();
            s.begin = lineStart;
            // The first section of a name wins, as on Windows.
            if (!index_.contains(s.nameLower))
                index_.insert(s.nameLower, static_cast<int>(sections_.size()));
            sections_.push_back(std::move(s));
        }
        lineStart = next;
    }
    sections_.back().end = n;
}

TProfileFile::Section& TProfileFile::Parsed(int index) const
{
    Section& s = sections_[static_cast<size_t>(index)];
    if (s.parsed)
        return s;
    s.parsed = true;
    const char* p = text_.constData();
    qsizetype lineStart = s.begin;
    while (lineStart < s.end) {
        const char* nl = static_cast<const char*>(
            std::memchr(p + lineStart, '\n', static_cast<size_t>(s.end - lineStart)));
        const qsizetype next = nl != nullptr ? (nl - p) + 1 : s.end;
        Line line{QByteArray(p + lineStart, next - lineStart - 2), {}};
        QString key;
        const bool isHeader = index > 0 && s.lines.empty();
        if (!isHeader && index > 0 && KeyName(line.raw, key))
            line.keyLower = key.toLower();
        s.lines.push_back(std::move(line));
        lineStart = next;
    }
    return s;
}

int TProfileFile::FindSection(const QString& section) const
{
    return index_.value(section.trimmed().toLower(), -1);
}

const TProfileFile::Line* TProfileFile::FindKey(const QString& section, const QString& key) const
{
    const int s = FindSection(section);
    if (s < 0)
        return nullptr;
    const QString k = key.trimmed().toLower();
    for (const Line& line : Parsed(s).lines) {
        if (!line.keyLower.isEmpty() && line.keyLower == k)
            return &line;
    }
    return nullptr;
}

bool TProfileFile::SectionExists(const QString& section) const
{
    return FindSection(section) >= 0;
}

QString TProfileFile::ReadString(const QString& section, const QString& key, const QString& def,
                                 int bufferSize) const
{
    const Line* line = FindKey(section, key);
    QString v = line != nullptr ? ValueOf(line->raw) : def;
    const qsizetype max = bufferSize > 0 ? bufferSize - 1 : 0;
    if (v.size() > max) {
        v.truncate(max);
        if (!v.isEmpty() && v.back().isHighSurrogate())
            v.chop(1);
    }
    return v;
}

int32_t TProfileFile::ReadInteger(const QString& section, const QString& key, int32_t def) const
{
    const Line* line = FindKey(section, key);
    if (line == nullptr)
        return def;
    return ParseProfileInteger(ValueOf(line->raw), def);
}

bool TProfileFile::ReadBool(const QString& section, const QString& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TProfileFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    dirty_ = true;
    const QByteArray raw = OneLine(key.trimmed()) + '=' + OneLine(value);
    const QString keyLower = key.trimmed().toLower();
    int s = FindSection(section);
    if (s < 0) {
        Section sec;
        sec.nameLower = section.trimmed().toLower();
        sec.parsed = true;
        sec.lines.push_back(Line{'[' + OneLine(section.trimmed()) + ']', {}});
        s = static_cast<int>(sections_.size());
        index_.insert(sec.nameLower, s);
        sections_.push_back(std::move(sec));
    }
    auto& lines = Parsed(s).lines;
    for (Line& line : lines) {
        if (line.keyLower == keyLower) {
            line.raw = raw;
            return;
        }
    }
    // After the section's last non-blank line, so blank separators stay before the next one.
    size_t pos = lines.size();
    while (pos > 1 && lines[pos - 1].raw.trimmed().isEmpty())
        --pos;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(pos), Line{raw, keyLower});
}

void TProfileFile::WriteInteger(const QString& section, const QString& key, int32_t value)
{
    WriteString(section, key, QString::number(value));
}

void TProfileFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

QByteArray TProfileFile::Serialize() const
{
    QByteArray out;
    out.reserve(text_.size() + 4096);
    for (const Section& s : sections_) {
        if (!s.parsed) {
            out.append(text_.constData() + s.begin, s.end - s.begin);
            continue;
        }
        for (const Line& l : s.lines) {
            out += l.raw;
            out += "\r\n";
        }
    }
    return out;
}

bool TProfileFile::Flush()
{
    if (!dirty_ && QFile::exists(path_))
        return true;
    if (!WriteFileAtomically(path_, Serialize()))
        return false;
    dirty_ = false;
    return true;
}

void TProfileFile::FlushOrRaise()
{
    if (!Flush())
        throw EAppException(QStringLiteral("Unable to write to %1").arg(path_));
}
