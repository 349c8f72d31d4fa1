#include "metadata/MusicBrainzLookup.h"

#include <atomic>
#include <chrono>

#include <QTimer>
#include <QUrl>

#include "platform/net/HttpFetch.h"

namespace {

using Clock = std::chrono::steady_clock;

// When the program may next ask the service (it allows one request a second per client).
// UI thread only, like every lookup object.
Clock::time_point g_nextRequest{};

QString Base(const QString& server)
{
    QString base = server.trimmed();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

} // namespace

QString ImageExtension(const QByteArray& image)
{
    if (image.startsWith("\xff\xd8\xff"))
        return QStringLiteral("jpg");
    if (image.startsWith("\x89PNG\r\n\x1a\n"))
        return QStringLiteral("png");
    return {};
}

TMusicBrainzLookup::TMusicBrainzLookup(QObject* parent)
    : QObject(parent), fetch_(new THttpFetch(this))
{
}

TMusicBrainzLookup::~TMusicBrainzLookup() = default;

QByteArray TMusicBrainzLookup::UserAgent()
{
    return "Platterly/2.0 ( support@platterly.example )";
}

bool TMusicBrainzLookup::Busy() const
{
    return fetch_->Busy() || pending_ != nullptr;
}

void TMusicBrainzLookup::Abort()
{
    fetch_->Abort();
    delete pending_;
    pending_ = nullptr;
}

void TMusicBrainzLookup::LookupDisc(const QString& server, const QString& discId, int trackCount,
                                    std::function<void(const TMbLookupResult&)> done)
{
    Abort();
    THttpRequest request;
    request.Url = QUrl(Base(server) + QStringLiteral("/ws/2/discid/") +
                       QString::fromLatin1(QUrl::toPercentEncoding(discId)) +
                       QStringLiteral("?inc=artist-credits+recordings&fmt=json"));
    request.UserAgent = UserAgent();
    request.Accept = "application/json";
    request.Timeout = std::chrono::milliseconds(kTimeoutMs);
    request.MaxBytes = kMaxAnswerBytes;
    request.MaxRetryAfter = std::chrono::seconds(5);
    auto start = [this, request, discId, trackCount, done = std::move(done)]() mutable {
        pending_ = nullptr;
        g_nextRequest = Clock::now() + std::chrono::seconds(1);
        fetch_->Get(request, [discId, trackCount, done = std::move(done)](const THttpResult& r) {
            TMbLookupResult result;
            if (r.Status == 404) {
                // Not in the database: no releases, and nothing went wrong.
            } else if (!r.Ok()) {
                result.Error = r.Error.isEmpty()
                                   ? QStringLiteral("the server answered %1").arg(r.Status)
                                   : r.Error;
            } else if (auto releases =
                           ParseMusicBrainzDisc(r.Body, discId, trackCount, &result.Error)) {
                result.Releases = std::move(*releases);
            }
            done(result);
        });
    };
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(g_nextRequest - Clock::now());
    if (wait.count() <= 0) {
        start();
        return;
    }
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer); // a coarse timer may fire early
    connect(timer, &QTimer::timeout, this, [timer, start = std::move(start)]() mutable {
        timer->deleteLater();
        start();
    });
    pending_ = timer;
    timer->start(wait);
}

QUrl TMusicBrainzLookup::CoverUrl(const QString& server, const QString& releaseId)
{
    return QUrl(Base(server) + QStringLiteral("/release/") +
                QString::fromLatin1(QUrl::toPercentEncoding(releaseId)) + QStringLiteral("/front"));
}

void TMusicBrainzLookup::FetchCover(const QString& server, const QString& releaseId,
                                    std::function<void(const TCoverArt&)> done)
{
    FetchCoverAt(CoverUrl(server, releaseId), std::move(done));
}

void TMusicBrainzLookup::FetchCoverAt(const QUrl& url, std::function<void(const TCoverArt&)> done)
{
    Abort();
    THttpRequest request;
    request.Url = url;
    request.UserAgent = UserAgent();
    request.Timeout = std::chrono::milliseconds(kTimeoutMs * 3);
    request.MaxBytes = kMaxCoverBytes;
    fetch_->Get(request, [done = std::move(done)](const THttpResult& r) {
        TCoverArt cover;
        if (r.Status == 404) {
            // No cover: nothing to show, nothing wrong.
        } else if (!r.Ok()) {
            cover.Error = r.Error.isEmpty() ? QStringLiteral("the server answered %1").arg(r.Status)
                                            : r.Error;
        } else {
            cover.Extension = ImageExtension(r.Body);
            if (cover.Extension.isEmpty()) {
                cover.Error = QStringLiteral("the cover is not a JPEG or PNG image");
            } else {
                cover.Image = r.Body;
                cover.Mime = cover.Extension == QLatin1String("png") ? QStringLiteral("image/png")
                                                                     : QStringLiteral("image/jpeg");
            }
        }
        done(cover);
    });
}
