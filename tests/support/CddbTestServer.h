#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

class QEventLoop;
class QThread;

/// What the local CDDB server was asked.
struct TCddbTestRequest {
    QByteArray Target;     ///< the request line's target as sent
    bool ViaProxy = false; ///< absolute-form target: the request came as to a proxy
    QByteArray Host;       ///< the Host header
    QString Command;       ///< cmd, decoded ("cddb query 02001e01 1 150 32")
    QString Hello;         ///< hello, decoded
    QString Proto;         ///< proto
};

/// How the server answers one request.
struct TCddbTestAnswer {
    enum Mode {
        Normal,         ///< HTTP status line, Content-Length, the body, then close
        CloseDelimited, ///< no Content-Length: the body, then close
        Silent,         ///< accepts and never answers
        Drip,           ///< headers, then the body one byte per DripInterval, over and over
        CloseAtOnce,    ///< closes without a byte
        Raw,            ///< Body is the whole response, status line and all; then close
    };
    Mode Kind = Normal;
    QByteArray Body;
    int HttpStatus = 200;
    std::chrono::milliseconds DripInterval{1000};
};

/// A CDDB server over HTTP on 127.0.0.1 with a free port, on a thread of its own, for tests
/// and benchmarks: nothing reaches outside the machine. It also serves requests sent to it as
/// to an HTTP proxy (absolute-form targets), which lets a test prove the proxy was used.
class TCddbTestServer {
public:
    using Handler = std::function<TCddbTestAnswer(const TCddbTestRequest&)>;

    explicit TCddbTestServer(Handler handler);
    ~TCddbTestServer();
    TCddbTestServer(const TCddbTestServer&) = delete;
    TCddbTestServer& operator=(const TCddbTestServer&) = delete;

    quint16 Port() const { return port_; }
    /// "127.0.0.1:port", a Server setting that reaches this server.
    QString Address() const;

    void SetHandler(Handler handler);
    std::vector<TCddbTestRequest> Requests() const;

private:
    void Run();
    TCddbTestAnswer Answer(const TCddbTestRequest& request);
    void Record(const TCddbTestRequest& request);

    mutable std::mutex mutex_; // guards everything below but thread_
    std::condition_variable ready_;
    bool started_ = false;
    quint16 port_ = 0;
    QEventLoop* loop_ = nullptr;
    Handler handler_;
    std::vector<TCddbTestRequest> requests_;
    QThread* thread_ = nullptr;
};

/// Answers for the usual requests.
namespace CddbAnswers {
/// "200 category id title": one exact match.
QByteArray Exact(const QString& category, const QString& id, const QString& title);
/// status (210 or 211) and the match lines, ended by ".".
QByteArray List(int status, const QStringList& lines);
/// "202 No match found.".
QByteArray NoMatch();
/// "210 category id" and the record's lines, ended by ".".
QByteArray Record(const QString& category, const QString& id, const QStringList& lines);
/// A record for a disc: DISCID, DTITLE, DYEAR, DGENRE and TTITLE0.. from titles.
QStringList RecordLines(const QString& id, const QString& dtitle, const QString& year,
                        const QString& genre, const QStringList& titles);
} // namespace CddbAnswers
