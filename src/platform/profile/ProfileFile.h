#pragma once

#include <cstdint>
#include <vector>

#include <QByteArray>
#include <QHash>
#include <QString>

/// A private profile file ("[section]" and "key=value" lines) with the Windows semantics the
/// settings files were written with: section and key names case-insensitive, the first match
/// wins, values trimmed and stripped of one pair of enclosing double quotes, a missing file
/// reads as empty. Writes keep the order of existing sections, keys and unrelated lines, put a
/// new key at the end of its section and a new section at the end of the file. Writes stay in
/// memory until Flush, which replaces the file atomically, CRLF-terminated UTF-8.
class TProfileFile {
public:
    /// Reads the file now; a missing or unreadable file reads as empty.
    explicit TProfileFile(const QString& path);

    const QString& Path() const { return path_; }

    /// The value, or def when the section or key is missing; at most bufferSize - 1 characters
    /// come back, as from a buffer of that size.
    QString ReadString(const QString& section, const QString& key, const QString& def,
                       int bufferSize = 2048) const;
    /// Decimal, or hexadecimal after "0x"; anything else (or a missing key) gives def.
    int32_t ReadInteger(const QString& section, const QString& key, int32_t def) const;
    /// Stored as an integer; any non-zero value is true.
    bool ReadBool(const QString& section, const QString& key, bool def) const;
    bool SectionExists(const QString& section) const;

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int32_t value);
    void WriteBool(const QString& section, const QString& key, bool value);

    /// Writes the file if anything changed. False when it could not be written; the file on disk
    /// is then untouched.
    bool Flush();
    /// Flush, raising EAppException "Unable to write to <path>" on failure.
    void FlushOrRaise();

    /// The file's text as it would be written.
    QByteArray Serialize() const;

private:
    struct Line {
        QByteArray raw;   // UTF-8, without line end
        QString keyLower; // empty unless this is a key=value line
    };
    // A section stays a slice of the file's text until something reads or writes it, so a
    // file that remembers thousands of discs costs one scan, not one parse per line.
    struct Section {
        QString nameLower;
        qsizetype begin = 0; // slice of text_ holding the section's lines, CRLF-terminated
        qsizetype end = 0;
        bool parsed = false;
        std::vector<Line>
            lines; // when parsed; lines[0] is the "[name]" header (not in the preamble)
    };

    void Parse(QByteArray bytes);
    Section& Parsed(int index) const;
    const Line* FindKey(const QString& section, const QString& key) const;
    int FindSection(const QString& section) const;

    QString path_;
    QByteArray text_;                       // canonical text: UTF-8, CRLF line ends
    mutable std::vector<Section> sections_; // sections_[0] holds the lines before the first section
    QHash<QString, int> index_;             // lower-case name -> first section of that name
    bool dirty_ = false;
};
