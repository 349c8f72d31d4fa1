#include "metadata/QueryCDDBThread.h"

#include <algorithm>
#include <condition_variable>
#include <vector>

#include <QThread>

#include "metadata/QueryCDDBLogic.h"
#include "platform/cddb/Cddb.h"

namespace {

/// The lookups' threads. A thread's QThread object is deleted on the UI thread once the
/// thread ended (at the next start, or at exit), never by the thread itself.
struct Registry {
    std::mutex mutex;
    std::condition_variable ended;
    int running = 0; // threads whose Execute has not returned
    std::vector<std::pair<QThread*, std::weak_ptr<TCddbLookupLink>>> threads;

    /// Deletes the threads that ended; all of them when every lookup returned (the last
    /// steps of a thread after its lookup returned take no time to wait for).
    void Reap()
    {
        std::vector<QThread*> done;
        {
            std::lock_guard lock(mutex);
            const bool all = running == 0;
            auto keep = std::stable_partition(threads.begin(), threads.end(), [all](const auto& t) {
                return !all && !t.first->isFinished();
            });
            for (auto it = keep; it != threads.end(); ++it)
                done.push_back(it->first);
            threads.erase(keep, threads.end());
        }
        for (QThread* t : done) {
            t->wait();
            delete t;
        }
    }

    ~Registry()
    {
        // At exit only ended threads are deleted; one still running is left to the process.
        for (auto& [thread, link] : threads) {
            if (thread->isFinished())
                delete thread;
        }
    }
};

Registry& Threads()
{
    static Registry registry;
    return registry;
}

} // namespace

void TCddbLookupLink::Post(std::unique_ptr<QEvent> event)
{
    std::lock_guard lock(mutex_);
    if (!Stopped())
        PostAppEvent(receiver_, std::move(event));
}

void TCddbLookupLink::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stopped_.store(true, std::memory_order_release);
        receiver_ = nullptr;
    }
    abort_->Abort();
}

TQueryCDDBThread::TQueryCDDBThread(uint8_t first, uint8_t last, int handle,
                                   const TQueryCDDB& settings,
                                   std::shared_ptr<TCddbLookupLink> link,
                                   std::optional<CddbMatch> chosen)
    : first_(first), last_(last), handle_(handle), settings_(settings), link_(std::move(link)),
      chosen_(std::move(chosen))
{
}

void TQueryCDDBThread::Start(uint8_t first, uint8_t last, int handle, const TQueryCDDB& settings,
                             std::shared_ptr<TCddbLookupLink> link)
{
    Launch(std::make_shared<TQueryCDDBThread>(first, last, handle, settings, std::move(link)));
}

void TQueryCDDBThread::StartRead(uint8_t first, uint8_t last, const TQueryCDDB& settings,
                                 std::shared_ptr<TCddbLookupLink> link, const CddbMatch& match)
{
    Launch(std::make_shared<TQueryCDDBThread>(first, last, 0, settings, std::move(link), match));
}

void TQueryCDDBThread::Launch(std::shared_ptr<TQueryCDDBThread> lookup)
{
    Registry& r = Threads();
    r.Reap();
    std::weak_ptr<TCddbLookupLink> link = lookup->link_;
    QThread* thread = QThread::create([lookup]() mutable {
        try {
            lookup->Execute();
        } catch (...) {
            // Nothing may leave the thread: the lookup ends like a failed one.
            try {
                lookup->PostFailure(QStringLiteral("internal error"));
            } catch (...) {
            }
        }
        lookup.reset();
        Registry& reg = Threads();
        {
            std::lock_guard lock(reg.mutex);
            --reg.running;
        }
        reg.ended.notify_all();
    });
    {
        std::lock_guard lock(r.mutex);
        ++r.running;
        r.threads.emplace_back(thread, std::move(link));
    }
    thread->start();
}

int TQueryCDDBThread::Running()
{
    Registry& r = Threads();
    std::lock_guard lock(r.mutex);
    return r.running;
}

bool TQueryCDDBThread::StopAllAndWait(std::chrono::milliseconds timeout)
{
    Registry& r = Threads();
    std::vector<std::shared_ptr<TCddbLookupLink>> links;
    {
        std::lock_guard lock(r.mutex);
        for (auto& [thread, weak] : r.threads) {
            if (auto link = weak.lock())
                links.push_back(std::move(link));
        }
    }
    for (const auto& link : links)
        link->Stop();
    bool none = false;
    {
        std::unique_lock lock(r.mutex);
        none = r.ended.wait_for(lock, timeout, [&] { return r.running == 0; });
    }
    r.Reap();
    return none;
}

void TQueryCDDBThread::Post(int state, int code, std::unique_ptr<TDiscNames> result)
{
    link_->Post(std::make_unique<TCddbStateEvent>(state, code, std::move(result)));
}

void TQueryCDDBThread::PostFailure(const QString& reason)
{
    link_->Post(std::make_unique<TCddbStateEvent>(TCddbStateEvent::kOver, 0, nullptr, reason));
}

void TQueryCDDBThread::SetOptions()
{
    CDDBSetAbortHandle(link_->Abort());
    CDDBSetOption(0, settings_.Server, 0);
    CDDBSetOption(6, settings_.Script, 0);
    CDDBSetOption(4, QString::fromLatin1(kUserIdentity), 0);
    CDDBSetOption(3, QString::fromLatin1(kProgram), 0);
    CDDBSetOption(8, QString(), 0);
    if (settings_.UseProxy) {
        CDDBSetOption(2, QString(), 1);
        CDDBSetOption(5, QString(), ProxyPortNumber(settings_.Port));
        CDDBSetOption(1, settings_.ProxyAddress, 0);
    }
}

void TQueryCDDBThread::Execute()
{
    SetOptions();
    if (chosen_) {
        Read(*chosen_);
        return;
    }
    CddbQueryList list;
    list.Count = kCddbMaxMatches;
    if (CDDBQuery(handle_, list) != 1) {
        PostFailure(CDDBGetLastErrorText());
        return;
    }
    if (list.Count < 1) {
        Post(TCddbStateEvent::kNoMatch, CDDBGetLastError());
        return;
    }
    if (list.Count > 1) {
        const auto count = static_cast<size_t>(std::min<int>(list.Count, kCddbMaxMatches));
        std::vector<CddbMatch> matches(list.Matches.begin(),
                                       list.Matches.begin() + static_cast<std::ptrdiff_t>(count));
        link_->Post(std::make_unique<TCddbStateEvent>(TCddbStateEvent::kChoose, 0, nullptr,
                                                      QString(), std::move(matches)));
        return;
    }
    Read(list.Matches[0]);
}

void TQueryCDDBThread::Read(const CddbMatch& match)
{
    QString record;
    if (CDDBGetDiskInfo(match, record, kRecordBufferSize) != 1) {
        PostFailure(CDDBGetLastError() == CddbError::TooLong
                        ? QStringLiteral("the disc's record is larger than 1 MB")
                        : CDDBGetLastErrorText());
        return;
    }
    auto result = std::make_unique<TDiscNames>();
    if (!AddCddbRecord(ParseCddbRecord(record), first_, last_, *result)) {
        PostFailure(QStringLiteral("the disc's record has no track titles"));
        return;
    }
    Post(TCddbStateEvent::kOver, 0, std::move(result));
}
