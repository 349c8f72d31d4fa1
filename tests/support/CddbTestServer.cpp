#include "support/CddbTestServer.h"

#include <memory>

#include <QEventLoop>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include "core/ThreadHandoff.h"

namespace {

QString FormValue(const QByteArray& query, const QByteArray& key)
{
    for (const QByteArray& pair : query.split('&')) {
        const qsizetype eq = pair.indexOf('=');
        if (eq < 0 || pair.left(eq) != key)
            continue;
        QByteArray value = pair.mid(eq + 1);
        value.replace('+', ' ');
        return QUrl::fromPercentEncoding(value);
    }
    return {};
}

TCddbTestRequest ParseRequest(const QByteArray& head)
{
    TCddbTestRequest r;
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    r.Target = first.value(1);
    r.ViaProxy = r.Target.startsWith("http://");
    for (const QByteArray& line : lines) {
        if (line.toLower().startsWith("host:"))
            r.Host = line.mid(5).trimmed();
    }
    const qsizetype q = r.Target.indexOf('?');
    const QByteArray query = q < 0 ? QByteArray() : r.Target.mid(q + 1);
    r.Command = FormValue(query, "cmd");
    r.Hello = FormValue(query, "hello");
    r.Proto = FormValue(query, "proto");
    return r;
}

QByteArray StatusLine(int status)
{
    return "HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Error") + "\r\n";
}

/// One connection: reads the request head, then answers as planned.
class Connection : public QObject {
public:
    Connection(QTcpSocket* socket, std::function<TCddbTestAnswer(const TCddbTestRequest&)> answer)
        : QObject(socket), socket_(socket), answer_(std::move(answer))
    {
        connect(socket_, &QTcpSocket::readyRead, this, [this] { Read(); });
        connect(socket_, &QTcpSocket::disconnected, socket_, &QObject::deleteLater);
    }

private:
    void Read()
    {
        if (answered_)
            return;
        head_ += socket_->readAll();
        if (!head_.contains("\r\n\r\n"))
            return;
        answered_ = true;
        const TCddbTestAnswer a = answer_(ParseRequest(head_));
        switch (a.Kind) {
        case TCddbTestAnswer::Normal:
            socket_->write(StatusLine(a.HttpStatus) +
                           "Content-Type: text/plain; charset=utf-8\r\n" +
                           "Content-Length: " + QByteArray::number(a.Body.size()) +
                           "\r\nConnection: close\r\n\r\n" + a.Body);
            Close();
            break;
        case TCddbTestAnswer::CloseDelimited:
            socket_->write(StatusLine(a.HttpStatus) + "Connection: close\r\n\r\n" + a.Body);
            Close();
            break;
        case TCddbTestAnswer::Silent:
            break;
        case TCddbTestAnswer::Drip: {
            socket_->write(StatusLine(200) + "Connection: close\r\n\r\n");
            auto* timer = new QTimer(this);
            body_ = a.Body.isEmpty() ? QByteArray("2") : a.Body;
            connect(timer, &QTimer::timeout, this, [this] {
                socket_->write(body_.mid(next_ % body_.size(), 1));
                ++next_;
            });
            timer->start(a.DripInterval);
            break;
        }
        case TCddbTestAnswer::CloseAtOnce:
            socket_->abort();
            break;
        case TCddbTestAnswer::Raw:
            socket_->write(a.Body);
            Close();
            break;
        }
    }

    void Close()
    {
        // Close once every byte is out, or at once when the client went away.
        if (socket_->bytesToWrite() == 0)
            socket_->disconnectFromHost();
        else
            connect(socket_, &QTcpSocket::bytesWritten, this, [this] {
                if (socket_->bytesToWrite() == 0)
                    socket_->disconnectFromHost();
            });
    }

    QTcpSocket* socket_;
    std::function<TCddbTestAnswer(const TCddbTestRequest&)> answer_;
    QByteArray head_;
    bool answered_ = false;
    QByteArray body_;
    qsizetype next_ = 0;
};

} // namespace

TCddbTestServer::TCddbTestServer(Handler handler) : handler_(std::move(handler))
{
    thread_ = QThread::create([this] { Run(); });
    thread_->start();
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return started_; });
}

TCddbTestServer::~TCddbTestServer()
{
    {
        std::lock_guard lock(mutex_);
        if (loop_ != nullptr) {
            QEventLoop* loop = loop_;
            InvokeQueued(loop_, [loop] { loop->quit(); });
        }
    }
    thread_->wait();
    delete thread_;
}

void TCddbTestServer::Run()
{
    QTcpServer server;
    QEventLoop loop;
    const bool listening = server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
        while (QTcpSocket* socket = server.nextPendingConnection())
            new Connection(socket, [this](const TCddbTestRequest& r) { return Answer(r); });
    });
    {
        std::lock_guard lock(mutex_);
        port_ = listening ? server.serverPort() : 0;
        loop_ = &loop;
        started_ = true;
    }
    ready_.notify_all();
    if (listening)
        loop.exec();
    std::lock_guard lock(mutex_);
    loop_ = nullptr;
}

QString TCddbTestServer::Address() const
{
    return QStringLiteral("127.0.0.1:%1").arg(port_);
}

void TCddbTestServer::SetHandler(Handler handler)
{
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

std::vector<TCddbTestRequest> TCddbTestServer::Requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

TCddbTestAnswer TCddbTestServer::Answer(const TCddbTestRequest& request)
{
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        handler = handler_;
    }
    return handler ? handler(request) : TCddbTestAnswer{};
}

namespace CddbAnswers {

QByteArray Exact(const QString& category, const QString& id, const QString& title)
{
    return QStringLiteral("200 %1 %2 %3\r\n").arg(category, id, title).toUtf8();
}

QByteArray List(int status, const QStringList& lines)
{
    QByteArray out =
        QByteArray::number(status) + " Found matches, list follows (until terminating `.')\r\n";
    for (const QString& l : lines)
        out += l.toUtf8() + "\r\n";
    return out + ".\r\n";
}

QByteArray NoMatch()
{
    return "202 No match found.\r\n";
}

QByteArray Record(const QString& category, const QString& id, const QStringList& lines)
{
    QByteArray out =
        QStringLiteral("210 %1 %2 CD database entry follows (until terminating `.')\r\n")
            .arg(category, id)
            .toUtf8();
    for (const QString& l : lines)
        out += l.toUtf8() + "\r\n";
    return out + ".\r\n";
}

QStringList RecordLines(const QString& id, const QString& dtitle, const QString& year,
                        const QString& genre, const QStringList& titles)
{
    QStringList lines{QStringLiteral("# xmcd"),        QStringLiteral("#"),
                      QStringLiteral("DISCID=") + id,  QStringLiteral("DTITLE=") + dtitle,
                      QStringLiteral("DYEAR=") + year, QStringLiteral("DGENRE=") + genre};
    for (int i = 0; i < titles.size(); ++i)
        lines << QStringLiteral("TTITLE%1=%2").arg(i).arg(titles[i]);
    lines << QStringLiteral("EXTD=") << QStringLiteral("PLAYORDER=");
    return lines;
}

} // namespace CddbAnswers
