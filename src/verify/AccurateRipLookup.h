#pragma once

#include <functional>
#include <vector>

#include <QObject>
#include <QString>

#include "verify/AccurateRip.h"

class THttpFetch;

/// What the AccurateRip database said of a disc.
struct TAccurateRipAnswer {
    enum class Kind { Found, NotInDatabase, Unreachable };
    Kind Result = Kind::Unreachable;
    std::vector<TAccurateRipBlock> Blocks; ///< those for this very disc
    QString Error;                         ///< why it could not be asked

    /// A track's result (index from 0 among the audio tracks) from this answer.
    TVerifyResult TrackResult(int trackIndex, const TTrackChecksums& sums) const;
};

/// Asks the AccurateRip database about one disc: one GET of its dBAR file from the server
/// (an http address, "http://www.accuraterip.com" by default), with a 10 s limit and no retry.
/// Asynchronous on the owner's thread.
class TAccurateRipLookup : public QObject {
    Q_OBJECT
public:
    static constexpr int kTimeoutMs = 10'000;

    explicit TAccurateRipLookup(QObject* parent = nullptr);
    ~TAccurateRipLookup() override;

    /// Starts the lookup; done runs once with the answer (not after the object is gone).
    void Start(const QString& server, const TAccurateRipIds& ids,
               std::function<void(const TAccurateRipAnswer&)> done);
    bool Busy() const;

private:
    THttpFetch* fetch_;
};
