#include "platform/net/HttpFetch.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

THttpFetch::THttpFetch(QObject* parent)
    : QObject(parent), manager_(new QNetworkAccessManager(this)), timer_(new QTimer(this)),
      retry_(new QTimer(this))
{
    timer_->setSingleShot(true);
    retry_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (waiting_) {
            retry_->stop();
            waiting_ = false;
            THttpResult r;
            r.Error = QStringLiteral("the server did not answer in time");
            Finish(r);
            return;
        }
        failure_ = QStringLiteral("the server did not answer in time");
        if (reply_)
            reply_->abort();
    });
    connect(retry_, &QTimer::timeout, this, [this] {
        waiting_ = false;
        Start();
    });
}

THttpFetch::~THttpFetch()
{
    Abort();
}

void THttpFetch::Abort()
{
    done_ = nullptr;
    timer_->stop();
    retry_->stop();
    waiting_ = false;
    if (QNetworkReply* reply = reply_) {
        reply_ = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void THttpFetch::Get(const THttpRequest& request, Done done)
{
    Abort();
    request_ = request;
    done_ = std::move(done);
    retried_ = false;
    const QString scheme = request.Url.scheme().toLower();
    if (!request.Url.isValid() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        THttpResult r;
        r.Error = QStringLiteral("\"%1\" is not an http or https address")
                      .arg(request.Url.toDisplayString());
        // Asynchronous like every other ending, so a caller never sees its callback inside Get.
        QTimer::singleShot(0, this, [this, r] { Finish(r); });
        return;
    }
    timer_->start(request.Timeout);
    Start();
}

void THttpFetch::Start()
{
    failure_.clear();
    QNetworkRequest req(request_.Url);
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                     QNetworkRequest::UserVerifiedRedirectPolicy);
    req.setMaximumRedirectsAllowed(5);
    if (!request_.UserAgent.isEmpty())
        req.setHeader(QNetworkRequest::UserAgentHeader, QString::fromUtf8(request_.UserAgent));
    if (!request_.Accept.isEmpty())
        req.setRawHeader("Accept", request_.Accept);
    QNetworkReply* reply = manager_->get(req);
    reply_ = reply;
    connect(reply, &QNetworkReply::redirected, this, [this, reply](const QUrl& url) {
        const QString scheme = url.scheme().toLower();
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
            Q_EMIT reply->redirectAllowed();
            return;
        }
        failure_ = QStringLiteral("the server redirected to \"%1\", which is not an http or "
                                  "https address")
                       .arg(url.toDisplayString());
        reply->abort();
    });
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64 received, qint64) {
        if (received > request_.MaxBytes && failure_.isEmpty()) {
            failure_ = QStringLiteral("the answer is larger than %1 bytes").arg(request_.MaxBytes);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, &THttpFetch::Finished);
}

void THttpFetch::Finished()
{
    QNetworkReply* reply = reply_;
    if (!reply)
        return;
    reply_ = nullptr;
    reply->deleteLater();
    THttpResult r;
    r.Status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    r.ContentType = reply->header(QNetworkRequest::ContentTypeHeader).toString();
    r.FinalUrl = reply->url();
    if (!failure_.isEmpty()) {
        r.Status = 0;
        r.Error = failure_;
    } else if (r.Status == 0) {
        r.Error = reply->errorString();
    } else if (reply->error() != QNetworkReply::NoError &&
               reply->error() < QNetworkReply::ContentAccessDenied) {
        // A connection that broke after the status line: the answer is not whole.
        r.Error = reply->errorString();
    } else if (r.Status >= 300 && r.Status < 400) {
        // A redirect Qt would not follow (another scheme, or too many).
        const QUrl to = r.FinalUrl.resolved(QUrl(QString::fromUtf8(reply->rawHeader("Location"))));
        const QString scheme = to.scheme().toLower();
        r.Error = scheme == QLatin1String("http") || scheme == QLatin1String("https")
                      ? QStringLiteral("the server redirected too often")
                      : QStringLiteral("the server redirected to \"%1\", which is not an http "
                                       "or https address")
                            .arg(to.toDisplayString());
    } else {
        r.Body = reply->readAll();
        if (r.Body.size() > request_.MaxBytes) {
            r.Body.clear();
            r.Error = QStringLiteral("the answer is larger than %1 bytes").arg(request_.MaxBytes);
        }
    }
    if (r.Status == 503 && !retried_ && request_.MaxRetryAfter.count() > 0) {
        bool ok = false;
        const int seconds = reply->rawHeader("Retry-After").trimmed().toInt(&ok);
        if (ok && seconds >= 0 && seconds <= request_.MaxRetryAfter.count()) {
            retried_ = true;
            waiting_ = true;
            retry_->start(std::chrono::seconds(seconds));
            return;
        }
    }
    Finish(r);
}

void THttpFetch::Finish(THttpResult result)
{
    timer_->stop();
    Done done = std::move(done_);
    done_ = nullptr;
    if (done)
        done(result);
}
