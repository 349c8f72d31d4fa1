#include "verify/AccurateRipLookup.h"

#include <QUrl>

#include "platform/net/HttpFetch.h"

TVerifyResult TAccurateRipAnswer::TrackResult(int trackIndex, const TTrackChecksums& sums) const
{
    if (!sums.HasAccurateRip())
        return {TVerifyStatus::NoChecksum, 0};
    switch (Result) {
    case Kind::Found:
        return MatchTrack(Blocks, trackIndex, sums);
    case Kind::NotInDatabase:
        return {TVerifyStatus::NotInDatabase, 0};
    case Kind::Unreachable:
        break;
    }
    return {TVerifyStatus::CouldNotVerify, 0};
}

TAccurateRipLookup::TAccurateRipLookup(QObject* parent)
    : QObject(parent), fetch_(new THttpFetch(this))
{
}

TAccurateRipLookup::~TAccurateRipLookup() = default;

bool TAccurateRipLookup::Busy() const
{
    return fetch_->Busy();
}

void TAccurateRipLookup::Start(const QString& server, const TAccurateRipIds& ids,
                               std::function<void(const TAccurateRipAnswer&)> done)
{
    THttpRequest request;
    QString base = server.trimmed();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    request.Url = QUrl(base + AccurateRipPath(ids));
    request.UserAgent = "Platterly";
    request.Timeout = std::chrono::milliseconds(kTimeoutMs);
    // A disc's entry holds a block per pressing: a few kilobytes at most.
    request.MaxBytes = 1 << 20;
    fetch_->Get(request, [ids, done = std::move(done)](const THttpResult& r) {
        TAccurateRipAnswer answer;
        if (r.Status == 404) {
            answer.Result = TAccurateRipAnswer::Kind::NotInDatabase;
        } else if (!r.Ok()) {
            answer.Error = r.Error.isEmpty()
                               ? QStringLiteral("the server answered %1").arg(r.Status)
                               : r.Error;
        } else if (auto blocks = ParseDbar(r.Body, &answer.Error)) {
            for (TAccurateRipBlock& b : *blocks)
                if (b.Ids.AudioTracks == ids.AudioTracks && b.Ids.Id1 == ids.Id1 &&
                    b.Ids.Id2 == ids.Id2 && b.Ids.Cddb == ids.Cddb)
                    answer.Blocks.push_back(std::move(b));
            answer.Result = answer.Blocks.empty() ? TAccurateRipAnswer::Kind::NotInDatabase
                                                  : TAccurateRipAnswer::Kind::Found;
        }
        done(answer);
    });
}
