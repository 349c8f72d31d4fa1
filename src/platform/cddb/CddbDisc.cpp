#include "platform/cddb/CddbDisc.h"

#include <QStringList>

namespace {

int32_t DigitSum(int32_t n)
{
    int32_t sum = 0;
    for (; n > 0; n /= 10)
        sum += n % 10;
    return sum;
}

int32_t MsfFrames(const TocEntry& e)
{
    return (e.Minutes() * 60 + e.Seconds()) * 75 + e.Frames();
}

} // namespace

std::optional<CddbDisc> CddbDisc::FromToc(const TocRecord& toc)
{
    const int first = toc.FirstTrack;
    const int last = toc.LastTrack;
    if (first < 1 || last < first || last >= kTocEntryCount)
        return std::nullopt;
    CddbDisc disc;
    disc.Offsets.reserve(static_cast<size_t>(last - first + 1));
    int32_t previous = 0;
    for (int t = first; t <= last; ++t) {
        const int32_t start = MsfFrames(toc.Entries[static_cast<size_t>(t - 1)]);
        if (start < previous)
            return std::nullopt;
        disc.Offsets.push_back(start);
        previous = start;
    }
    disc.LeadOut = MsfFrames(toc.Entries[static_cast<size_t>(last)]);
    if (disc.LeadOut < previous)
        return std::nullopt;
    return disc;
}

uint32_t CddbDisc::DiscId() const
{
    if (Offsets.empty())
        return 0;
    int32_t n = 0;
    for (const int32_t offset : Offsets)
        n += DigitSum(offset / 75);
    const auto t = static_cast<uint32_t>(LeadOut / 75 - Offsets.front() / 75);
    return (static_cast<uint32_t>(n % 255) << 24) | ((t & 0xffffu) << 8) |
           (static_cast<uint32_t>(Offsets.size()) & 0xffu);
}

QString CddbDisc::QueryCommand() const
{
    QStringList parts{QStringLiteral("cddb"), QStringLiteral("query"), CddbDiscIdText(DiscId()),
                      QString::number(Offsets.size())};
    for (const int32_t offset : Offsets)
        parts << QString::number(offset);
    parts << QString::number(LengthSeconds());
    return parts.join(QLatin1Char(' '));
}

QString CddbDiscIdText(uint32_t id)
{
    return QStringLiteral("%1").arg(id, 8, 16, QLatin1Char('0'));
}
