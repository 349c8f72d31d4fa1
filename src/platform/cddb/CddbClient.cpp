#include "platform/cddb/CddbClient.h"

#include <algorithm>
#include <atomic>

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringList>
#include <QTimer>

#include "platform/cdaccess/CdAccess.h"
#include "platform/cddb/CddbResponse.h"

namespace {

using std::chrono::milliseconds;

std::atomic<int64_t> g_connectMs{0};
std::atomic<int64_t> g_lookupMs{0};

/// A query answer lists at most a few matches; anything near this size is no CDDB answer.
constexpr qint64 kMaxQueryAnswerBytes = 1 << 20;

/// host, host:port, [v6] or [v6]:port; false when the text is no server address.
bool SplitServer(const QString& text, QString& host, int& port)
{
    const QString s = text.trimmed();
    port = 80;
    QString portText;
    if (s.startsWith(QLatin1Char('['))) {
        const qsizetype close = s.indexOf(QLatin1Char(']'));
        if (close < 0)
            return false;
        host = s.mid(1, close - 1);
        const QString rest = s.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return false;
            portText = rest.mid(1);
        }
    } else if (s.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = s.indexOf(QLatin1Char(':'));
        host = s.left(colon);
        portText = s.mid(colon + 1);
    } else {
        host = s;
    }
    if (!portText.isNull()) {
        bool ok = false;
        const int p = portText.toInt(&ok, 10);
        if (!ok || p < 1 || p > 65535 || portText.startsWith(QLatin1Char('+')))
            return false;
        port = p;
    }
    if (host.isEmpty())
        return false;
    // The host goes into the URL on its own: no path, user or query may ride along.
    QUrl probe;
    probe.setScheme(QStringLiteral("http"));
    probe.setHost(host, QUrl::StrictMode);
    return probe.isValid() && !probe.host().isEmpty();
}

/// A hello token: no blanks (they separate the hello's fields), never empty.
QByteArray HelloToken(QString text)
{
    text = text.trimmed();
    text.replace(QLatin1Char(' '), QLatin1Char('_'));
    if (text.isEmpty())
        text = QStringLiteral("unknown");
    return QUrl::toPercentEncoding(text);
}

/// A server's words in a message: one line, and not a page of them.
QString Capped(const QString& words)
{
    constexpr qsizetype kMax = 200;
    QString w = words.simplified();
    if (w.size() > kMax)
        w = w.left(kMax) + QChar(0x2026);
    return w;
}

QString Quoted(const QString& words)
{
    return QLatin1Char('"') + Capped(words) + QLatin1Char('"');
}

QString Seconds(milliseconds ms)
{
    return QString::number(static_cast<double>(ms.count()) / 1000.0);
}

QByteArray PlusJoined(const QStringList& words)
{
    QByteArray out;
    for (const QString& w : words) {
        if (!out.isEmpty())
            out += '+';
        out += QUrl::toPercentEncoding(w);
    }
    return out;
}

} // namespace

TCddbClient::TCddbClient()
    : connectTimeout_(g_connectMs.load() > 0 ? milliseconds(g_connectMs.load()) : kConnectTimeout),
      lookupLimit_(g_lookupMs.load() > 0 ? milliseconds(g_lookupMs.load()) : kLookupLimit),
      abort_(std::make_shared<TCddbAbort>())
{
}

void TCddbClient::SetDefaultLimitsForTests(milliseconds connect, milliseconds lookup)
{
    g_connectMs.store(connect.count());
    g_lookupMs.store(lookup.count());
}

int TCddbClient::Fail(int error, const QString& detail)
{
    lastError_ = error;
    lastDetail_ = detail;
    return 0;
}

QString TCddbClient::LastErrorText() const
{
    switch (lastError_) {
    case CddbError::None:
        return {};
    case 202:
        return QStringLiteral("no match");
    case CddbError::BadOption:
        return QStringLiteral("a CDDB option is out of range");
    case CddbError::TocFailed:
        return QStringLiteral("the disc's table of contents could not be read");
    case CddbError::BadServer:
        return QStringLiteral("the server or proxy setting is not an address");
    case CddbError::HostNotFound:
        return QStringLiteral("the server %1 was not found").arg(Quoted(lastDetail_));
    case CddbError::Refused:
        return QStringLiteral("the server refused the connection");
    case CddbError::ConnectTimeout:
        return QStringLiteral("no connection to the server within %1 s")
            .arg(Seconds(connectTimeout_));
    case CddbError::TimeLimit:
        return QStringLiteral("no answer within %1 s").arg(Seconds(lookupLimit_));
    case CddbError::Aborted:
        return QStringLiteral("stopped");
    case CddbError::BadAnswer:
        return QStringLiteral("the server's answer is not a CDDB answer");
    case CddbError::TooLong:
        return QStringLiteral("the server's answer is too long");
    case CddbError::Cut:
        return QStringLiteral("the server closed the connection before the answer's end");
    case CddbError::Http:
        return QStringLiteral("the server answered HTTP %1").arg(Quoted(lastDetail_));
    case CddbError::Network:
        return QStringLiteral("network error: %1").arg(Capped(lastDetail_));
    default:
        // The server's own status line: "500 Command syntax error."
        return QStringLiteral("the server answered %1").arg(Quoted(lastDetail_));
    }
}

int TCddbClient::SetOption(int code, const QString& text, int number)
{
    switch (code) {
    case CddbOption::Server:
        server_ = text;
        break;
    case CddbOption::ProxyAddress:
        proxyAddress_ = text.trimmed();
        break;
    case CddbOption::UseProxy:
        useProxy_ = number != 0;
        break;
    case CddbOption::Program:
        program_ = text;
        break;
    case CddbOption::User:
        user_ = text;
        break;
    case CddbOption::ProxyPort:
        if (number < 1 || number > 65535)
            return Fail(CddbError::BadOption);
        proxyPort_ = number;
        break;
    case CddbOption::Script:
        script_ = text.trimmed();
        break;
    case CddbOption::TimeLimit:
        if (number < 0)
            return Fail(CddbError::BadOption);
        lookupLimit_ =
            number == 0 ? (g_lookupMs.load() > 0 ? milliseconds(g_lookupMs.load()) : kLookupLimit)
                        : milliseconds(int64_t{number} * 1000);
        break;
    default:
        return Fail(CddbError::BadOption);
    }
    lastError_ = CddbError::None;
    lastDetail_.clear();
    return 1;
}

std::optional<QUrl> TCddbClient::CommandUrl(const QString& command) const
{
    QString host;
    int port = 80;
    if (!SplitServer(server_, host, port))
        return std::nullopt;
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(host, QUrl::StrictMode);
    if (port != 80)
        url.setPort(port);
    QString path = script_.isEmpty() ? QStringLiteral("/") : script_;
    if (!path.startsWith(QLatin1Char('/')))
        path.prepend(QLatin1Char('/'));
    // Decoded mode: a "?" or "#" in the script is part of its path, not the start of a query.
    url.setPath(path, QUrl::DecodedMode);

    // "name version": the last word is the version.
    QString client = program_.trimmed();
    QString version = QStringLiteral("1.0");
    const qsizetype blank = client.lastIndexOf(QLatin1Char(' '));
    if (blank > 0) {
        version = client.mid(blank + 1);
        client = client.left(blank);
    }
    const qsizetype at = user_.indexOf(QLatin1Char('@'));
    const QString user = at < 0 ? user_ : user_.left(at);
    const QString userHost = at < 0 ? QStringLiteral("localhost") : user_.mid(at + 1);

    QByteArray query = "cmd=" + PlusJoined(command.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    query += "&hello=" + HelloToken(user) + '+' + HelloToken(userHost) + '+' + HelloToken(client) +
             '+' + HelloToken(version);
    query += "&proto=6";
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

void TCddbClient::StartLookup()
{
    deadline_ = std::chrono::steady_clock::now() + lookupLimit_;
}

TCddbClient::Answer TCddbClient::Fetch(const QString& command, qint64 maxBytes)
{
    if (abort_->Aborted())
        return {CddbError::Aborted, {}, {}};
    const std::optional<QUrl> url = CommandUrl(command);
    if (!url)
        return {CddbError::BadServer, {}, {}};
    if (useProxy_ && proxyAddress_.isEmpty())
        return {CddbError::BadServer, {}, {}};
    if (!deadline_)
        StartLookup();
    const auto left =
        std::chrono::duration_cast<milliseconds>(*deadline_ - std::chrono::steady_clock::now());
    if (left.count() <= 0)
        return {CddbError::TimeLimit, {}, {}};

    QNetworkAccessManager manager;
    manager.setProxy(useProxy_ ? QNetworkProxy(QNetworkProxy::HttpProxy, proxyAddress_,
                                               static_cast<quint16>(proxyPort_))
                               : QNetworkProxy(QNetworkProxy::NoProxy));
    manager.setAutoDeleteReplies(false);
    QNetworkRequest request(*url);
    request.setRawHeader("User-Agent",
                         program_.trimmed().replace(QLatin1Char(' '), QLatin1Char('/')).toUtf8());
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setMaximumRedirectsAllowed(3);

    Answer answer;
    QEventLoop loop;
    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    const auto stop = [&](int error) {
        if (answer.Error == CddbError::None)
            answer.Error = error;
        reply->abort();
    };
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
        answer.Body += reply->readAll();
        if (answer.Body.size() > maxBytes)
            stop(CddbError::TooLong);
    });
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);

    QTimer connectTimer;
    connectTimer.setSingleShot(true);
    QObject::connect(&connectTimer, &QTimer::timeout, &loop,
                     [&] { stop(CddbError::ConnectTimeout); });
    QObject::connect(reply.get(), &QNetworkReply::requestSent, &connectTimer, &QTimer::stop);
    connectTimer.start(std::min(connectTimeout_, left));

    // Precise: a coarse timer may fire a little early, and the limit is the lookup's.
    QTimer limitTimer;
    limitTimer.setTimerType(Qt::PreciseTimer);
    limitTimer.setSingleShot(true);
    QObject::connect(&limitTimer, &QTimer::timeout, &loop, [&] { stop(CddbError::TimeLimit); });
    limitTimer.start(left);

    abort_->Watch(&loop, [&] { stop(CddbError::Aborted); });
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    abort_->Unwatch();

    if (answer.Error != CddbError::None) {
        if (answer.Error == CddbError::TimeLimit)
            deadline_ = std::chrono::steady_clock::now();
        answer.Body.clear();
        return answer;
    }
    answer.Body += reply->readAll();
    if (answer.Body.size() > maxBytes)
        return {CddbError::TooLong, {}, {}};
    if (reply->error() == QNetworkReply::NoError)
        return answer;
    // Each way of failing is told apart: the user sees which one it was.
    const int http = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (http >= 400) {
        answer.Error = CddbError::Http;
        answer.Detail = QString::number(http) + QLatin1Char(' ') +
                        reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    } else {
        switch (reply->error()) {
        case QNetworkReply::HostNotFoundError:
            answer.Error = CddbError::HostNotFound;
            answer.Detail = url->host();
            break;
        case QNetworkReply::ConnectionRefusedError:
            answer.Error = CddbError::Refused;
            break;
        case QNetworkReply::RemoteHostClosedError:
            answer.Error = CddbError::Cut;
            break;
        default:
            answer.Error = CddbError::Network;
            answer.Detail = reply->errorString();
            break;
        }
    }
    answer.Body.clear();
    return answer;
}

int TCddbClient::Query(int handle, CddbQueryList& list)
{
    StartLookup();
    TocRecord toc;
    // The query needs minutes, seconds and frames, whatever form the handle was left in.
    const bool read = ModifyCDParms(handle, kCdpMsf, 1) == 1 && ReadTOC(handle, toc) == 1;
    const std::optional<CddbDisc> disc = read ? CddbDisc::FromToc(toc) : std::nullopt;
    if (!disc) {
        list.Count = 0;
        return Fail(CddbError::TocFailed);
    }
    return Query(*disc, list);
}

int TCddbClient::Query(const CddbDisc& disc, CddbQueryList& list)
{
    if (!deadline_)
        StartLookup();
    const int capacity = std::clamp(list.Count, 0, kCddbMaxMatches);
    list.Count = 0;
    if (disc.Offsets.empty())
        return Fail(CddbError::TocFailed);
    const Answer got = Fetch(disc.QueryCommand(), kMaxQueryAnswerBytes);
    if (got.Error != CddbError::None)
        return Fail(got.Error, got.Detail);
    const CddbQueryAnswer answer = ParseCddbQueryAnswer(got.Body, capacity);
    if (answer.Cut)
        return Fail(CddbError::Cut);
    if (!answer.Ok)
        return answer.Status > 0 ? Fail(answer.Status, answer.StatusLine)
                                 : Fail(CddbError::BadAnswer);
    for (const CddbMatch& m : answer.Matches)
        list.Matches[static_cast<size_t>(list.Count++)] = m;
    lastError_ = answer.Status == 202 ? 202 : CddbError::None;
    lastDetail_.clear();
    return 1;
}

int TCddbClient::GetDiskInfo(const CddbMatch& match, QString& buffer, int bufferSize)
{
    buffer.clear();
    if (bufferSize <= 0)
        return Fail(CddbError::TooLong);
    if (match.Category.isEmpty() || match.DiscId.isEmpty())
        return Fail(CddbError::BadOption);
    // Every character of the record takes at least one byte and at most four.
    const qint64 maxBytes = qint64{bufferSize} * 4 + 4096;
    const Answer got = Fetch(
        QStringLiteral("cddb read ") + match.Category + QLatin1Char(' ') + match.DiscId, maxBytes);
    if (got.Error != CddbError::None)
        return Fail(got.Error, got.Detail);
    const CddbReadAnswer answer = ParseCddbReadAnswer(got.Body, bufferSize);
    if (answer.TooLong)
        return Fail(CddbError::TooLong);
    if (answer.Cut)
        return Fail(CddbError::Cut);
    if (!answer.Ok)
        return answer.Status > 0 ? Fail(answer.Status, answer.StatusLine)
                                 : Fail(CddbError::BadAnswer);
    buffer = answer.Record;
    lastError_ = CddbError::None;
    lastDetail_.clear();
    return 1;
}
