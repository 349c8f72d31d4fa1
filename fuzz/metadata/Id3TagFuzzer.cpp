// Reads arbitrary files as ID3v1-tagged MP3s, then writes the tag back and reads it again:
// whatever was read must survive a write unchanged, and the audio before it must too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include "metadata/Genres.h"
#include "metadata/id3tag.h"

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fuzz.mp3"));
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write(bytes);
    }
    Tid3tag tag;
    const uint16_t rc = tag.ReadTag(path);
    if (rc != Tid3tag::ErrNoTag && rc >= 256)
        std::abort();
    (void)GenreNameAt(ByteToGenre(tag.Genre));

    if (tag.WriteTag(QStringLiteral("=")) != Tid3tag::Ok)
        std::abort();
    const QByteArray after = ReadAll(path);
    const qsizetype audio = rc == Tid3tag::ErrNoTag ? bytes.size() : bytes.size() - 128;
    if (after.left(audio) != bytes.left(audio) || after.size() != audio + 128)
        std::abort();
    Tid3tag again;
    if (again.ReadTag(path) >= 256 || again.Title() != tag.Title() ||
        again.Artist() != tag.Artist() || again.Album() != tag.Album() ||
        again.Year() != tag.Year() || again.Comment() != tag.Comment() ||
        again.Track() != tag.Track() || again.Genre != tag.Genre)
        std::abort();
    return 0;
}
