// Feeds arbitrary bytes, cut into chunks at arbitrary places, to the line splitter and to the
// lame encode and decode parsers and the WMA classifier, as the runners do with pipe reads.
#include <cstddef>
#include <cstdint>

#include "encoders/LameOutput.h"
#include "encoders/ToolOutput.h"
#include "encoders/WmaOutput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the chunk length, so reads cut lines at every possible place.
    const size_t chunkSize = 1 + data[0] % 64;
    int32_t encodeColumn = 0;
    int32_t decodeColumn = 0;
    for (size_t at = 1; at < size; at += chunkSize) {
        const size_t n = size - at < chunkSize ? size - at : chunkSize;
        const QByteArray chunk(reinterpret_cast<const char*>(data + at), static_cast<qsizetype>(n));
        for (const QString& line : SplitToolOutput(chunk)) {
            if (auto r = ParseLameEncodeLine(line, encodeColumn);
                r && (r->Percent < 1 || r->Percent > 100))
                __builtin_trap();
            if (auto r = ParseLameDecodeLine(line, decodeColumn, static_cast<int64_t>(at));
                r && (r->Percent < 1 || r->Percent > 100))
                __builtin_trap();
            (void)ClassifyWmaLine(line);
        }
    }
    return 0;
}
