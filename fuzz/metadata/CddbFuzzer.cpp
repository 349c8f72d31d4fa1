// Feeds arbitrary bytes to every reader of what a CDDB server sends: the query answer, the
// read answer, and the record parser on the decoded text (with a disc range from the input).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QByteArray>

#include "metadata/CddbRecord.h"
#include "platform/cddb/CddbResponse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const CddbQueryAnswer query = ParseCddbQueryAnswer(bytes, 10);
    if (query.Matches.size() > 10)
        std::abort();
    for (const CddbMatch& m : query.Matches) {
        // A match goes back to the server in a URL: it must be a plain token pair.
        if (m.Category.isEmpty() || m.DiscId.isEmpty() || m.DiscId.size() > 8 ||
            m.Category.contains(QLatin1Char(' ')))
            std::abort();
    }

    const int first = size > 0 ? 1 + data[0] % 99 : 1;
    const int last = size > 1 ? first + data[1] % 20 : first;
    const CddbReadAnswer read = ParseCddbReadAnswer(bytes, 32000);
    if (read.Ok && read.Record.size() >= 32000)
        std::abort();
    const QString text = read.Ok ? read.Record : DecodeCddbLines(bytes).join(QLatin1Char('\n'));
    TDiscNames result;
    AddCddbRecord(ParseCddbRecord(text), first, last, result);
    for (const auto& [track, title] : result.Titles) {
        if (track < first || track > last || title.isEmpty())
            std::abort();
        for (const QChar c : title) {
            if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f))
                std::abort();
        }
    }
    if (result.Genre && *result.Genre != -1 && (*result.Genre < 1 || *result.Genre > 148))
        std::abort();
    return 0;
}
