#pragma once

#include <functional>
#include <vector>

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include "metadata/MusicBrainz.h"

class THttpFetch;

/// What a discid lookup found.
struct TMbLookupResult {
    std::vector<TMbRelease> Releases; ///< empty when the disc is not in the database
    QString Error;                    ///< why the service could not be asked; empty otherwise
};

/// A front cover, or none.
struct TCoverArt {
    QByteArray Image;  ///< JPEG or PNG bytes; empty when the release has no cover
    QString Extension; ///< "jpg" or "png"
    QString Mime;
    QString Error; ///< why a cover that exists could not be had
};

/// The MusicBrainz web service and the Cover Art Archive, asynchronous on the owner's thread.
/// Requests carry the User-Agent the service asks for, and the program's requests to the
/// service are at least a second apart, however many lookups there are.
class TMusicBrainzLookup : public QObject {
    Q_OBJECT
public:
    static constexpr int kTimeoutMs = 10'000;
    static constexpr qint64 kMaxAnswerBytes = 4 << 20;
    static constexpr qint64 kMaxCoverBytes = 10 << 20;

    explicit TMusicBrainzLookup(QObject* parent = nullptr);
    ~TMusicBrainzLookup() override;

    /// "Platterly/<version> ( <contact> )".
    static QByteArray UserAgent();

    /// GET <server>/ws/2/discid/<id>?inc=artist-credits+recordings&fmt=json; done runs once.
    void LookupDisc(const QString& server, const QString& discId, int trackCount,
                    std::function<void(const TMbLookupResult&)> done);
    /// GET <server>/release/<id>/front, following its redirect to the image; done runs once.
    void FetchCover(const QString& server, const QString& releaseId,
                    std::function<void(const TCoverArt&)> done);
    /// The same for a cover's address as a lookup gave it.
    void FetchCoverAt(const QUrl& url, std::function<void(const TCoverArt&)> done);
    /// <server>/release/<id>/front.
    static QUrl CoverUrl(const QString& server, const QString& releaseId);
    /// Ends what is running without its callback.
    void Abort();
    bool Busy() const;

private:
    THttpFetch* fetch_;
    QObject* pending_ = nullptr; ///< the timer of a request waiting for its turn
};

/// "jpg" or "png" by the image's own first bytes; empty for anything else.
QString ImageExtension(const QByteArray& image);
