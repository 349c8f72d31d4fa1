#include "platform/registry/WineUserRegistry.h"

#include <QDir>
#include <QFile>

#include "platform/profile/AtomicFile.h"

namespace {

/// user.reg writes each backslash of a key path doubled; compare keys in Windows form.
QString KeyFromHeader(const QByteArray& line)
{
    const qsizetype end = line.lastIndexOf(']');
    if (!line.startsWith('[') || end < 1)
        return {};
    QString key = QString::fromUtf8(line.mid(1, end - 1));
    key.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    return key;
}

QString Normalise(QString key)
{
    while (key.startsWith(QLatin1Char('\\')))
        key.remove(0, 1);
    while (key.endsWith(QLatin1Char('\\')))
        key.chop(1);
    return key.toLower();
}

} // namespace

TWineUserRegistry::TWineUserRegistry() : TWineUserRegistry(DefaultUserRegPath()) {}

TWineUserRegistry::TWineUserRegistry(const QString& userRegPath) : path_(userRegPath)
{
    QFile f(path_);
    if (f.open(QIODevice::ReadOnly))
        Parse(f.readAll());
}

QString TWineUserRegistry::DefaultUserRegPath()
{
    QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (prefix.isEmpty())
        prefix = QDir::homePath() + QStringLiteral("/.wine");
    return prefix + QStringLiteral("/user.reg");
}

void TWineUserRegistry::Parse(const QByteArray& text)
{
    blocks_.clear();
    blocks_.append(Block{});
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith('[')) {
            blocks_.append(Block{Normalise(KeyFromHeader(line)), {}});
        }
        blocks_.last().lines.append(line);
    }
    // split() leaves one empty piece after the final line break.
    if (!blocks_.last().lines.isEmpty() && blocks_.last().lines.last().isEmpty())
        blocks_.last().lines.removeLast();
}

int TWineUserRegistry::Find(const QString& key) const
{
    const QString k = Normalise(key);
    for (int i = 1; i < blocks_.size(); ++i) {
        if (blocks_[i].keyLower == k)
            return i;
    }
    return -1;
}

bool TWineUserRegistry::KeyExists(const QString& key) const
{
    return Find(key) >= 0;
}

bool TWineUserRegistry::Save() const
{
    QByteArray out;
    for (const Block& b : blocks_) {
        for (const QByteArray& l : b.lines) {
            out += l;
            out += '\n';
        }
    }
    return WriteFileAtomically(path_, out);
}

bool TWineUserRegistry::DeleteKey(const QString& key)
{
    const int i = Find(key);
    if (i < 0)
        return false;
    const QString prefix = blocks_[i].keyLower + QLatin1Char('\\');
    for (const Block& b : blocks_) {
        if (b.keyLower.startsWith(prefix))
            return false; // as on Windows, a key with subkeys is not deleted
    }
    const Block removed = blocks_.takeAt(i);
    if (!Save()) {
        blocks_.insert(i, removed);
        return false;
    }
    return true;
}

bool TWineUserRegistry::DeleteValue(const QString& key, const QString& value)
{
    const int i = Find(key);
    if (i < 0)
        return false;
    QList<QByteArray>& lines = blocks_[i].lines;
    const QByteArray quoted = '"' + value.toUtf8().toLower() + "\"=";
    for (int l = 1; l < lines.size(); ++l) {
        if (!lines[l].toLower().startsWith(quoted))
            continue;
        const QList<QByteArray> saved = lines;
        // Long hex values continue on following lines that end in a backslash.
        int last = l;
        while (last + 1 < lines.size() && lines[last].endsWith('\\'))
            ++last;
        lines.erase(lines.begin() + l, lines.begin() + last + 1);
        if (!Save()) {
            lines = saved;
            return false;
        }
        return true;
    }
    return false;
}
