#include "cd/TrackGeometry.h"

namespace {

bool RangeValid(const TocRecord& toc)
{
    return toc.FirstTrack >= 1 && toc.FirstTrack <= toc.LastTrack && toc.LastTrack < kTocEntryCount;
}

} // namespace

std::optional<TrackSpan> TrackGeometry(const TocRecord& toc, int track)
{
    if (!RangeValid(toc) || track < toc.FirstTrack || track > toc.LastTrack)
        return std::nullopt;
    const int32_t start = EntryFrames(toc.Entries[size_t(track - 1)]);
    const int32_t next = EntryFrames(toc.Entries[size_t(track)]);
    TrackSpan span;
    span.StartSector = start - kLeadInFrames;
    span.LengthSectors = next - start;
    if (span.StartSector < 0 || span.LengthSectors <= 0)
        return std::nullopt;
    return span;
}

DiscPlace PlaceOnDisc(const TocRecord& toc, int track)
{
    DiscPlace place;
    if (!RangeValid(toc))
        return place;
    place.FirstAudio = place.LastAudio = true;
    for (int t = toc.FirstTrack; t <= toc.LastTrack; ++t) {
        if (toc.Entries[size_t(t - 1)].IsData())
            continue;
        place.FirstAudio = place.FirstAudio && t >= track;
        place.LastAudio = place.LastAudio && t <= track;
    }
    place.EndSector = EntryFrames(toc.Entries[size_t(toc.LastTrack)]) - kLeadInFrames;
    return place;
}

std::vector<TrackLength> TrackListLengths(const TocRecord& toc)
{
    std::vector<TrackLength> lengths;
    if (!RangeValid(toc))
        return lengths;
    const TocEntry* prev = &toc.Entries[size_t(toc.FirstTrack - 1)];
    for (int t = toc.FirstTrack; t <= toc.LastTrack; ++t) {
        const TocEntry* next = &toc.Entries[size_t(t)];
        TrackLength len;
        len.Minutes = int32_t(next->Minutes()) - int32_t(prev->Minutes());
        len.Seconds = int32_t(next->Seconds()) - int32_t(prev->Seconds());
        if (len.Seconds < 0) {
            len.Seconds += 60;
            len.Minutes -= 1;
        }
        lengths.push_back(len);
        prev = next;
    }
    return lengths;
}
