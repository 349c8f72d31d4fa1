#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QObject>
#include <QString>

#include "metadata/DiscNames.h"
#include "platform/cdaccess/CdAccessTypes.h"

/// The disc a lookup is for.
struct TDiscQuery {
    QString Key; ///< the disc's key in cdinfo.dat: the names are for this disc only
    int Handle = 0;
    TocRecord Toc; ///< in MSF form
};

/// One thing a service knows by the disc's id: a release, a CDDB entry. What a chooser shows,
/// and the names once they are known (a service may need another request for them).
struct TDiscCandidate {
    QString Title;
    QString Artist;
    QString Year;
    QString Country;
    QString Label;
    QString Barcode;
    QString Id; ///< the service's id of it (a release id, a CDDB category and disc id)
    std::optional<TDiscNames> Names;
};

/// How a lookup ended.
struct TDiscFound {
    /// Empty when the service does not know the disc (and Error is empty).
    std::vector<TDiscCandidate> Candidates;
    /// Why the service could not be asked or its answer not be used; empty otherwise.
    QString Error;
};

/// A service that names discs. Every source (CDDB, MusicBrainz, ...) is one implementation,
/// asynchronous on the thread that owns it; the caller decides which candidate is the disc
/// and applies its names. A callback runs once, never inside the call that started it, and
/// never after Abort or the source's destruction.
class IDiscLookup : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(const TDiscFound&)>;

    explicit IDiscLookup(QObject* parent = nullptr) : QObject(parent) {}

    virtual TNamesSource Source() const = 0;
    /// Asks the service for the disc; a lookup still running is abandoned first.
    virtual void Find(const TDiscQuery& disc, Done done) = 0;
    /// The names of candidate index of the last Find: one candidate, with Names set, or an
    /// Error.
    virtual void Names(size_t index, Done done) = 0;
    /// Abandons what runs: its callback never comes.
    virtual void Abort() = 0;
};
