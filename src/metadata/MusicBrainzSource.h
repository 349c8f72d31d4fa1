#pragma once

#include <cstdint>
#include <vector>

#include "metadata/DiscLookup.h"
#include "metadata/MusicBrainz.h"

class TMusicBrainzLookup;

/// The names of a release's medium as a lookup result: album, artist, year, the titles and
/// recordings by disc track number (the medium's first track is the disc's first), and where
/// its front cover is.
TDiscNames NamesOfRelease(const TMbRelease& release, int firstTrack, const QString& discId,
                          const QString& coverServer);

/// MusicBrainz as a source of names: the disc id from the table of contents, the releases the
/// service knows by it (each with its names at once), on the servers of the settings.
class TMusicBrainzSource : public IDiscLookup {
    Q_OBJECT
public:
    explicit TMusicBrainzSource(QObject* parent = nullptr);
    ~TMusicBrainzSource() override;

    TNamesSource Source() const override { return TNamesSource::MusicBrainz; }
    void Find(const TDiscQuery& disc, Done done) override;
    void Names(size_t index, Done done) override;
    void Abort() override;

private:
    /// Runs done with found later, on this object's thread, unless aborted first.
    void Later(TDiscFound found, Done done);

    TMusicBrainzLookup* lookup_;
    std::vector<TDiscCandidate> found_;
    uint64_t generation_ = 0; ///< a callback queued under an older one is void
};
