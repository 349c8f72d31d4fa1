#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <QObject>

#include "core/AppEvents.h"
#include "core/Settings.h"
#include "metadata/CddbRecord.h"
#include "platform/cddb/CddbAbort.h"
#include "platform/cddb/CddbTypes.h"

/// WM_CDDBSTATE from the lookup: 6 (no match; Code is the CDDB layer's error code), 7 (the
/// lookup is over: Result holds the names when a record gave the disc's titles; otherwise
/// Failure says why there are none), or 8 (the server knows several discs by this id: Matches
/// lists them and the lookup ended without reading any, since only the user can tell which
/// one is in the drive; TQueryCDDBThread::StartRead reads the one chosen).
class TCddbStateEvent : public CddbStateEvent {
public:
    static constexpr int kNoMatch = 6;
    static constexpr int kOver = 7;
    static constexpr int kChoose = 8;

    TCddbStateEvent(int state, int code, std::unique_ptr<TDiscNames> result, QString failure = {},
                    std::vector<CddbMatch> matches = {})
        : CddbStateEvent(state), Code(code), Result(std::move(result)), Failure(std::move(failure)),
          Matches(std::move(matches))
    {
    }
    const int Code;
    std::unique_ptr<TDiscNames> Result;
    const QString Failure;
    const std::vector<CddbMatch> Matches;
};

/// Shared by the wait window and its lookup: where the lookup's events go until the window
/// lets go, and the abort of the lookup's network calls.
class TCddbLookupLink {
public:
    explicit TCddbLookupLink(QObject* receiver) : receiver_(receiver) {}

    /// Lookup's thread: posts to the receiver, unless it let go.
    void Post(std::unique_ptr<QEvent> event);
    /// UI thread: once this returns no event of the lookup reaches the receiver, and the
    /// lookup's network calls end at once.
    void Stop();
    bool Stopped() const { return stopped_.load(std::memory_order_acquire); }
    const std::shared_ptr<TCddbAbort>& Abort() const { return abort_; }

private:
    std::mutex mutex_; // guards receiver_ against Stop while a post is under way
    QObject* receiver_;
    std::atomic<bool> stopped_{false};
    const std::shared_ptr<TCddbAbort> abort_ = std::make_shared<TCddbAbort>();
};

/// Looks the disc up in the CDDB server of the settings, on a thread of its own: the query,
/// then, when it gives one match, that match's record. Reports through the link. It never
/// touches the track list, the disc information or a widget: the wait window applies the
/// result on the UI thread. A stopped lookup ends as soon as its network call returns, which
/// the stop makes immediate.
class TQueryCDDBThread {
public:
    /// The identity the hello announces.
    static constexpr const char* kUserIdentity = "platterly@localhost";
    /// The program name and version the hello announces.
    static constexpr const char* kProgram = "program 1.0";
    /// The size of the buffer a record must fit: 1 MB of characters. Real records stay far
    /// below it; a bigger one is refused whole, never applied in part.
    static constexpr int kRecordBufferSize = 1 << 20;

    /// Starts the lookup of tracks first..last of the disc behind handle (the settings are
    /// copied here, on the caller's thread).
    static void Start(uint8_t first, uint8_t last, int handle, const TQueryCDDB& settings,
                      std::shared_ptr<TCddbLookupLink> link);
    /// Starts the read of a match the user chose after state 8.
    static void StartRead(uint8_t first, uint8_t last, const TQueryCDDB& settings,
                          std::shared_ptr<TCddbLookupLink> link, const CddbMatch& match);

    /// Lookups whose thread has not ended yet.
    static int Running();
    /// Stops every lookup and waits until their threads ended or timeout passed; true when
    /// none is left. For program exit and tests.
    static bool StopAllAndWait(std::chrono::milliseconds timeout);

    TQueryCDDBThread(uint8_t first, uint8_t last, int handle, const TQueryCDDB& settings,
                     std::shared_ptr<TCddbLookupLink> link,
                     std::optional<CddbMatch> chosen = std::nullopt);

    /// The lookup itself, on the calling thread.
    void Execute();

    /// Reports to the wait window through the link.
    void Post(int state, int code, std::unique_ptr<TDiscNames> result = nullptr);

private:
    static void Launch(std::shared_ptr<TQueryCDDBThread> lookup);
    void SetOptions();
    void Read(const CddbMatch& match);
    void PostFailure(const QString& reason);

    const uint8_t first_;
    const uint8_t last_;
    const int handle_;
    const TQueryCDDB settings_;
    const std::shared_ptr<TCddbLookupLink> link_;
    const std::optional<CddbMatch> chosen_;
};
