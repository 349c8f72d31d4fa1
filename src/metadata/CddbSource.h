#pragma once

#include <memory>
#include <vector>

#include "metadata/DiscLookup.h"
#include "platform/cddb/CddbTypes.h"

class TCddbLookupLink;

/// CDDB as a source of names, with the server settings of the moment: the query on a thread of
/// its own, then the record of its one match; several matches come back without names (only
/// the user can tell which is the disc), and Names reads the one chosen.
class TCddbSource : public IDiscLookup {
    Q_OBJECT
public:
    explicit TCddbSource(QObject* parent = nullptr);
    ~TCddbSource() override;

    TNamesSource Source() const override { return TNamesSource::Cddb; }
    /// Only the table's first and last track numbers and the handle are used.
    void Find(const TDiscQuery& disc, Done done) override;
    void Names(size_t index, Done done) override;
    void Abort() override;

    /// The matches of the last Find that found several.
    const std::vector<CddbMatch>& Matches() const { return matches_; }

protected:
    bool event(QEvent* event) override;

private:
    void Finish(const TDiscFound& found);

    std::shared_ptr<TCddbLookupLink> link_;
    Done done_;
    std::vector<CddbMatch> matches_;
    uint8_t first_ = 0;
    uint8_t last_ = 0;
};
