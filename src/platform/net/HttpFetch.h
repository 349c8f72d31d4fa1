#pragma once

#include <chrono>
#include <functional>

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;

class QTimer;

/// What one GET brought back.
struct THttpResult {
    int Status = 0;  ///< the HTTP status; 0 when no answer came
    QByteArray Body; ///< empty unless the whole answer arrived within the size limit
    QString ContentType;
    QUrl FinalUrl; ///< after redirects
    QString Error; ///< why no usable answer came: empty for any answer with a status
    bool Ok() const { return Error.isEmpty() && Status >= 200 && Status < 300; }
};

struct THttpRequest {
    QUrl Url;
    QByteArray UserAgent;
    QByteArray Accept;
    std::chrono::milliseconds Timeout{10'000}; ///< for the whole exchange, redirects included
    qint64 MaxBytes = 1 << 20;                 ///< a longer answer is refused
    /// A 503 with Retry-After (in seconds, at most this long) is tried once more after it.
    std::chrono::seconds MaxRetryAfter{0};
};

/// One GET at a time over Qt Network, asynchronous on the thread that owns the object (the UI
/// thread or a command line's event loop), so a slow server never blocks a window. Redirects
/// are followed only to http and https addresses; an answer larger than the limit, a time-out
/// and a dropped connection end in an Error. The callback runs exactly once per Get, unless the
/// fetch is aborted or destroyed first.
class THttpFetch : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(const THttpResult&)>;

    explicit THttpFetch(QObject* parent = nullptr);
    ~THttpFetch() override;

    /// Starts a GET; a fetch still running is aborted first (its callback never runs).
    void Get(const THttpRequest& request, Done done);
    /// Ends the running fetch without its callback.
    void Abort();
    bool Busy() const { return reply_ != nullptr || waiting_; }

private:
    void Start();
    void Finish(THttpResult result);
    void Finished();

    QNetworkAccessManager* manager_;
    QTimer* timer_; ///< the whole exchange's time limit
    QTimer* retry_; ///< the wait a 503's Retry-After asks for
    QPointer<QNetworkReply> reply_;
    THttpRequest request_;
    Done done_;
    bool retried_ = false;
    bool waiting_ = false;
    QString failure_; ///< why this side ended the reply (size, scheme, time-out)
};
