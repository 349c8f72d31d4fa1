#pragma once

#include <chrono>
#include <memory>
#include <optional>

#include <QByteArray>
#include <QString>
#include <QUrl>

#include "platform/cddb/CddbAbort.h"
#include "platform/cddb/CddbDisc.h"
#include "platform/cddb/CddbTypes.h"

/// One caller's CDDB session: its options, its time limits and its abort handle. Speaks the
/// CDDB protocol (level 6, UTF-8) over HTTP GET to the server's CGI script: "cddb query" with
/// the disc id, the track offsets and the length, then "cddb read" of a match, each with the
/// hello built from the user identity and the program's name and version.
///
/// Calls block until the answer is in, the connect time-out or the lookup's time limit passes,
/// or the abort handle fires; they run a local event loop, so the calling thread must be one
/// Qt can run an event loop on (a QThread, or the main thread). Use from one thread only,
/// except for the abort handle.
class TCddbClient {
public:
    static constexpr std::chrono::milliseconds kConnectTimeout{10'000};
    static constexpr std::chrono::milliseconds kLookupLimit{30'000};

    TCddbClient();

    /// Sets an option (CddbOption codes); 1 on success, 0 for an unknown code or a value
    /// out of range (which leaves the option as it was).
    int SetOption(int code, const QString& text, int number);

    /// Looks up the disc in the drive: reads its table of contents, asks the server and fills
    /// the list. Starts the lookup's time limit. 1 when the server answered 200, 210, 211 or
    /// 202 (list.Count matches, 0 for 202); 0 on any failure.
    int Query(int handle, CddbQueryList& list);
    int Query(const CddbDisc& disc, CddbQueryList& list);

    /// Reads a match's record (xmcd text, lines joined with "\n") into buffer. 0 when it
    /// cannot be read or has bufferSize characters or more (then buffer stays empty).
    int GetDiskInfo(const CddbMatch& match, QString& buffer, int bufferSize);

    /// Why the last call failed, or the status of a 202 answer (CddbError).
    int LastError() const { return lastError_; }
    /// The same in words for the user ("the server refused the connection"), with the server's
    /// own words where it gave any; empty after a call that succeeded.
    QString LastErrorText() const;

    /// Replaces the abort handle (a new session has its own).
    void SetAbortHandle(std::shared_ptr<TCddbAbort> abort) { abort_ = std::move(abort); }
    const std::shared_ptr<TCddbAbort>& AbortHandle() const { return abort_; }

    /// The URL a command is sent to; nothing when the options make no address.
    std::optional<QUrl> CommandUrl(const QString& command) const;

    /// Test seam: the limits every new client starts with (zero restores the defaults).
    static void SetDefaultLimitsForTests(std::chrono::milliseconds connect,
                                         std::chrono::milliseconds lookup);

private:
    struct Answer {
        int Error = CddbError::None;
        QString Detail; ///< what the failure's text names: a host, a status line, Qt's words
        QByteArray Body;
    };
    Answer Fetch(const QString& command, qint64 maxBytes);
    void StartLookup();
    int Fail(int error, const QString& detail = {});

    QString server_;
    QString script_ = QStringLiteral("/~cddb/cddb.cgi");
    QString user_ = QStringLiteral("anonymous@localhost");
    QString program_ = QStringLiteral("program 1.0");
    bool useProxy_ = false;
    QString proxyAddress_;
    int proxyPort_ = 80;
    std::chrono::milliseconds connectTimeout_;
    std::chrono::milliseconds lookupLimit_;
    std::optional<std::chrono::steady_clock::time_point> deadline_;
    std::shared_ptr<TCddbAbort> abort_;
    int lastError_ = CddbError::None;
    QString lastDetail_;
};
