#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

/// The current user's registry of the Wine prefix ($WINEPREFIX, else ~/.wine): the file
/// user.reg, where Windows programs run under Wine keep their keys. Key paths are written as on
/// Windows ("Software\Vendor\Key"), relative to the current user's root.
class TWineUserRegistry {
public:
    /// Reads the prefix's user.reg; a missing file is an empty registry.
    TWineUserRegistry();
    /// Reads the given file instead (tests).
    explicit TWineUserRegistry(const QString& userRegPath);

    static QString DefaultUserRegPath();

    bool KeyExists(const QString& key) const;
    /// Deletes a key that has no subkeys, with its values; false when it does not exist, has
    /// subkeys, or the file cannot be written.
    bool DeleteKey(const QString& key);
    /// Deletes one value of a key; false when either is missing or the file cannot be written.
    bool DeleteValue(const QString& key, const QString& value);

private:
    struct Block {
        QString keyLower;        // empty for the file's header block
        QList<QByteArray> lines; // the block's lines, header line first
    };
    void Parse(const QByteArray& text);
    bool Save() const;
    int Find(const QString& key) const;

    QString path_;
    QList<Block> blocks_;
};
