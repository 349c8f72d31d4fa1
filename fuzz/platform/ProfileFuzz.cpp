// Feeds arbitrary bytes to the profile-file parser as options.ini or cdinfo.dat, reads every
// kind of value back, writes, and parses its own output again: the second parse must give the
// same values, so a rewrite never loses what could be read.
#include <cstddef>
#include <cstdint>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include "platform/profile/ProfileFile.h"
#include "platform/profile/ProfileText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/cdinfo.dat");
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    TProfileFile file(path);
    const QString sections[] = {QStringLiteral("CommonOptions"), QStringLiteral("1"),
                                QStringLiteral("-5"), QString()};
    const QString keys[] = {QStringLiteral("OutputFolder"), QStringLiteral("TrackNumber"),
                            QStringLiteral("1"), QString()};
    QString before[4][4];
    for (int s = 0; s < 4; ++s) {
        for (int k = 0; k < 4; ++k) {
            before[s][k] = file.ReadString(sections[s], keys[k], QStringLiteral("\x01"));
            file.ReadInteger(sections[s], keys[k], 7);
        }
    }
    file.WriteString(QStringLiteral("New"), QStringLiteral("Key"), QStringLiteral("value"));
    if (!file.Flush())
        return 0;
    TProfileFile again(path);
    for (int s = 0; s < 4; ++s) {
        for (int k = 0; k < 4; ++k) {
            if (again.ReadString(sections[s], keys[k], QStringLiteral("\x01")) != before[s][k])
                __builtin_trap();
        }
    }
    ParseProfileInteger(
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), 0);
    return 0;
}
