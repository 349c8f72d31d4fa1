// Feeds arbitrary bytes to the reader of MusicBrainz's discid answer and turns every release
// found into names, with a disc's first track and track count from the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QByteArray>

#include "metadata/MusicBrainz.h"
#include "metadata/MusicBrainzSource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int first = 1 + data[0] % 99;
    const int count = 1 + data[1] % 99;
    const QByteArray json(reinterpret_cast<const char*>(data + 2),
                          static_cast<qsizetype>(size - 2));
    const auto releases = ParseMusicBrainzDisc(json, QStringLiteral("id"), count);
    if (!releases)
        return 0;
    for (const TMbRelease& release : *releases) {
        const TDiscNames names =
            NamesOfRelease(release, first, QStringLiteral("id"), QStringLiteral("http://a"));
        for (const auto& [track, title] : names.Titles) {
            if (track < first || track > 100 || title.trimmed().isEmpty())
                std::abort();
            for (const QChar c : title)
                if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                    std::abort();
        }
    }
    return 0;
}
