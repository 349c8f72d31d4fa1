// The sink/source contract: Run, Pause, Done, Status, Progress, the worker loop, events,
// the input swap and removal, destruction while running.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "AudioTestUtil.h"
#include "audio/ACSException.h"
#include "audio/RateConverter.h"
#include "audio/WaveIn.h"

namespace {

/// A sink that collects what it reads, 1000 bytes a step.
class TCollectSink : public TACSOutput {
public:
    ~TCollectSink() override
    {
        if (beforeShutdown)
            beforeShutdown();
        ShutdownWorker();
    }

    bool DoOutput(bool abort) override
    {
        switch (BeginStep(abort, ended_)) {
        case TStepStart::Idle:
            return true;
        case TStepStart::End:
            return false;
        case TStepStart::Proceed:
            break;
        }
        uint8_t buf[1000];
        const int64_t n = ReadInput(buf, sizeof buf);
        std::lock_guard lock(m_);
        data_.insert(data_.end(), buf, buf + n);
        return n > 0;
    }
    Bytes data() const
    {
        std::lock_guard lock(m_);
        return data_;
    }
    std::atomic<int> prepares{0};
    std::atomic<int> dones{0};
    std::atomic<bool> failPrepare{false};
    std::atomic<bool> failDone{false};
    std::function<void()> beforeShutdown;

protected:
    void DoPrepare() override
    {
        ++prepares;
        if (failPrepare)
            throw EACSException("prepare failed");
        ended_ = false;
        Input()->Init();
    }
    void DoDone() override
    {
        ++dones;
        if (Input())
            Input()->Flush();
        if (failDone)
            throw EACSException("finishing failed");
    }

private:
    bool ended_ = false;
    mutable std::mutex m_;
    Bytes data_;
};

Bytes Ramp(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(i * 7);
    return b;
}

} // namespace

TEST(AudioFramework, RunDeliversEverythingThenDoneOnceAndIdle)
{
    TMemorySource src(Ramp(25000), 44100, 2, 16);
    TCollectSink sink;
    TSinkWatcher w(sink);
    sink.SetInput(&src);
    RunToEnd(sink, w);
    EXPECT_EQ(sink.data(), Ramp(25000));
    EXPECT_EQ(w.doneCount(), 1);
    EXPECT_EQ(sink.dones.load(), 1);
    EXPECT_EQ(src.flushCount.load(), 1);
    EXPECT_EQ(sink.Status(), TACSOutputStatus::Idle);
    // Progress changes are reported once each, in order, ending at 100.
    const std::vector<int> p = w.progress();
    ASSERT_FALSE(p.empty());
    for (size_t i = 1; i < p.size(); ++i)
        EXPECT_GT(p[i], p[i - 1]);
    EXPECT_EQ(p.back(), 100);

    // The parked worker wakes for a second job.
    RunToEnd(sink, w);
    EXPECT_EQ(sink.data().size(), 50000u);
    EXPECT_EQ(sink.dones.load(), 2);
}

TEST(AudioFramework, RunRefusesWhenBusyOrWithoutInput)
{
    TCollectSink sink;
    try {
        sink.Run();
        FAIL() << "no exception";
    } catch (const EACSException& e) {
        EXPECT_STREQ(e.what(), "Input is not assigned");
    }

    TMemorySource src(Ramp(4000), 44100, 2, 16);
    src.holdAt = 0; // the job cannot end before the second Run
    TSinkWatcher w(sink);
    sink.SetInput(&src);
    sink.Run();
    try {
        sink.Run();
        ADD_FAILURE() << "no exception";
    } catch (const EACSException& e) {
        EXPECT_STREQ(e.what(), "Component is buisy");
    }
    src.gate.Open();
    ASSERT_TRUE(w.Wait());
    EXPECT_EQ(sink.prepares.load(), 1);
}

TEST(AudioFramework, PrepareErrorsArriveThroughOnThreadExceptionOnTheWorker)
{
    TWaveIn in; // no file name
    TCollectSink sink;
    std::thread::id eventThread;
    std::mutex m;
    std::condition_variable cv;
    QString message;
    sink.SetOnThreadException([&](TACSOutput*, const EAppException& e) {
        std::lock_guard lock(m);
        eventThread = std::this_thread::get_id();
        message = e.text();
        cv.notify_all();
    });
    sink.SetInput(&in);
    EXPECT_NO_THROW(sink.Run());
    std::unique_lock lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return !message.isEmpty(); }));
    EXPECT_EQ(message, QStringLiteral("The file name is not assigned"));
    EXPECT_NE(eventThread, std::this_thread::get_id());
    EXPECT_EQ(sink.Status(), TACSOutputStatus::Idle);
    EXPECT_EQ(sink.dones.load(), 0); // nothing was opened, so nothing is finished
}

TEST(AudioFramework, StepErrorFinishesTheJobBeforeReportingIt)
{
    TMemorySource src(Ramp(10000), 44100, 2, 16);
    src.failAfter = 3000;
    TCollectSink sink;
    TSinkWatcher w(sink);
    sink.SetInput(&src);
    RunToEnd(sink, w);
    EXPECT_EQ(w.errorCount(), 1);
    EXPECT_EQ(w.doneCount(), 0);
    EXPECT_EQ(w.lastError(), QStringLiteral("source failed"));
    EXPECT_EQ(sink.dones.load(), 1);
    EXPECT_EQ(src.flushCount.load(), 1);
    EXPECT_EQ(sink.Status(), TACSOutputStatus::Idle);
    EXPECT_EQ(sink.data().size(), 3000u);
    EXPECT_TRUE(sink.Failed());
}

TEST(AudioFramework, AJobWhoseOutputCannotBeFinishedFailsWithoutOnDone)
{
    // The steps all succeed; finishing the output does not. An OnDone here would tell the
    // owner that a file which was never completed is complete.
    TMemorySource src(Ramp(5000), 44100, 2, 16);
    TCollectSink sink;
    TSinkWatcher w(sink);
    sink.SetInput(&src);
    sink.failDone = true;
    RunToEnd(sink, w);
    EXPECT_EQ(w.doneCount(), 0);
    EXPECT_EQ(w.errorCount(), 1);
    EXPECT_EQ(w.lastError(), QStringLiteral("finishing failed"));
    EXPECT_TRUE(sink.Failed());
    EXPECT_EQ(sink.Status(), TACSOutputStatus::Idle);
    EXPECT_EQ(sink.dones.load(), 1);

    // The next job starts with a clean slate.
    sink.failDone = false;
    RunToEnd(sink, w);
    EXPECT_EQ(w.doneCount(), 1);
    EXPECT_FALSE(sink.Failed());

    // A Prepare that fails counts as a failed job too.
    sink.failPrepare = true;
    RunToEnd(sink, w);
    EXPECT_EQ(w.doneCount(), 0);
    EXPECT_TRUE(sink.Failed());
    sink.failPrepare = false;

    // The owner finishing a paused job learns of the failure from Done itself.
    TMemorySource held(Ramp(5000), 44100, 2, 16);
    held.holdAt = 1000;
    sink.SetInput(&held);
    sink.failDone = true;
    w.Reset();
    sink.Run();
    ASSERT_TRUE(held.gate.WaitHeld());
    sink.Pause();
    held.gate.Open();
    EXPECT_THROW(sink.Done(), EACSException);
    EXPECT_TRUE(sink.Failed());
    EXPECT_EQ(w.doneCount(), 0);
}

TEST(AudioFramework, ProgressForUnknownAndEmptySources)
{
    TCollectSink sink;
    EXPECT_EQ(sink.Progress(), 0); // no input
    TMemorySource unknown(Ramp(100), 44100, 2, 16);
    unknown.reportedSize = -1;
    unknown.Init();
    sink.SetInput(&unknown);
    EXPECT_EQ(sink.Progress(), -1);
    unknown.Flush();
    TMemorySource empty(Bytes{}, 44100, 2, 16);
    empty.Init();
    sink.SetInput(&empty);
    EXPECT_EQ(sink.Progress(), 0);
    empty.Flush();
}

TEST(AudioFramework, SuspendWhenIdleDecidesWhetherTheWorkerKeepsStepping)
{
    TMemorySource src(Ramp(3000), 44100, 2, 16);
    TCollectSink parked;
    TSinkWatcher w1(parked);
    parked.SetInput(&src);
    RunToEnd(parked, w1);
    ASSERT_TRUE(WaitFor([&] { return parked.WorkerParked(); }));
    const uint64_t stepsAfterJob = parked.StepCount();

    TCollectSink idling;
    idling.SetSuspendWhenIdle(false);
    TSinkWatcher w2(idling);
    idling.SetInput(&src);
    RunToEnd(idling, w2);
    EXPECT_FALSE(idling.WorkerParked());
    const uint64_t before = idling.StepCount();
    EXPECT_TRUE(WaitFor([&] { return idling.StepCount() > before + 3; }));
    EXPECT_EQ(idling.data().size(), 3000u); // idle steps produce nothing
    // All the while the parked worker has not stepped once.
    EXPECT_EQ(parked.StepCount(), stepsAfterJob);
    EXPECT_EQ(idling.Status(), TACSOutputStatus::Idle);
    RunToEnd(idling, w2); // and a new job still runs
    EXPECT_EQ(idling.data().size(), 6000u);
}

TEST(AudioFramework, PauseThenDoneEndsTheJobWithoutOnDone)
{
    TMemorySource src(Ramp(200000), 44100, 2, 16);
    src.holdAt = 30000;
    TCollectSink sink;
    TSinkWatcher w(sink);
    sink.SetInput(&src);
    sink.Run();
    ASSERT_TRUE(src.gate.WaitHeld());
    sink.Pause();
    EXPECT_EQ(sink.Status(), TACSOutputStatus::Paused);
    src.gate.Open(); // the step under way ends, then the worker parks
    sink.Done();
    const size_t got = sink.data().size();
    const int reads = src.getDataCount.load();
    EXPECT_TRUE(sink.WorkerParked());
    EXPECT_EQ(got, 31000u); // the held step's read was the last
    EXPECT_EQ(sink.dones.load(), 1);
    EXPECT_EQ(src.flushCount.load(), 1);
    EXPECT_EQ(w.doneCount(), 0);
    EXPECT_THROW(sink.Run(), EACSException);   // still busy: a stopped job is not resumed
    EXPECT_EQ(src.getDataCount.load(), reads); // nothing read after Done
    EXPECT_EQ(sink.data().size(), got);
    EXPECT_FALSE(sink.Failed());
}

TEST(AudioFramework, DestroyingARunningSinkWaitsForTheStepAndFinishesTheJob)
{
    TMemorySource src(Ramp(100000), 44100, 2, 16);
    src.endless = true; // still running whenever the sink goes
    src.holdAt = 5000;
    {
        TCollectSink sink;
        sink.SetInput(&src);
        sink.Run();
        ASSERT_TRUE(src.gate.WaitHeld());
        EXPECT_EQ(sink.Status(), TACSOutputStatus::Running);
        sink.beforeShutdown = [&] { src.gate.Open(); };
    }
    EXPECT_FALSE(src.Busy()); // the job was finished: the input flushed
    EXPECT_EQ(src.flushCount.load(), 1);
}

TEST(AudioFramework, SwapInputWhileRunningInitialisesTheNewAndFlushesTheOld)
{
    TMemorySource a(Bytes(40000, 0xAA), 44100, 2, 16);
    a.endless = true; // so the job is still reading it when the swap comes
    a.holdAt = 3000;
    TMemorySource b(Bytes(5000, 0xBB), 44100, 2, 16);
    TCollectSink sink;
    TSinkWatcher w(sink);
    sink.SetInput(&a);
    sink.Run();
    ASSERT_TRUE(a.gate.WaitHeld());
    a.gate.Open();
    sink.SetInput(&b);
    EXPECT_EQ(a.flushCount.load(), 1);
    EXPECT_EQ(b.initCount.load(), 1);
    ASSERT_TRUE(w.Wait());
    const Bytes d = sink.data();
    ASSERT_GE(d.size(), 5000u);
    EXPECT_EQ(d.front(), 0xAA);
    // Everything after the swap comes from the new input, which runs to its end.
    EXPECT_TRUE(std::all_of(d.end() - 5000, d.end(), [](uint8_t v) { return v == 0xBB; }));
    EXPECT_EQ(std::count(d.begin(), d.end(), 0xBB), 5000);
}

TEST(AudioFramework, DestroyedInputIsDroppedAndTheJobEnds)
{
    auto src = std::make_unique<TMemorySource>(Ramp(40000), 44100, 2, 16);
    src->endless = true;
    src->holdAt = 3000;
    TCollectSink sink;
    TSinkWatcher w(sink);
    sink.SetInput(src.get());
    sink.Run();
    ASSERT_TRUE(src->gate.WaitHeld());
    src->gate.Open();
    src.reset();
    EXPECT_EQ(sink.Input(), nullptr);
    ASSERT_TRUE(w.Wait());
    EXPECT_EQ(w.doneCount(), 1);
}

TEST(AudioFramework, FilterRefusesToReadItselfOrCloseALoop)
{
    TRateConverter a, b;
    a.SetInput(&a);
    EXPECT_EQ(a.Input(), nullptr);
    b.SetInput(&a);
    a.SetInput(&b); // b already reads a
    EXPECT_EQ(a.Input(), nullptr);
    EXPECT_EQ(b.Input(), &a);
}

TEST(AudioFramework, PublishedSettersIgnoreChangesWhileBusy)
{
    TMemorySource src(Ramp(400000), 44100, 2, 16);
    src.holdAt = 1000;
    TCollectSink sink;
    TSinkWatcher w(sink);
    sink.SetInput(&src);
    sink.Run();
    sink.SetSuspendWhenIdle(false);
    EXPECT_TRUE(sink.SuspendWhenIdle());
    sink.Pause();
    src.gate.Open();
    sink.Done();
}

TEST(AudioFramework, RunInCallerThreadRunsTheWholeJobWithoutEvents)
{
    TMemorySource src(Ramp(25000), 44100, 2, 16);
    TCollectSink sink;
    TSinkWatcher w(sink);
    sink.SetInput(&src);
    sink.RunInCallerThread();
    EXPECT_EQ(sink.data(), Ramp(25000));
    EXPECT_EQ(sink.dones.load(), 1);
    EXPECT_EQ(w.doneCount(), 0);
    EXPECT_EQ(sink.Status(), TACSOutputStatus::Idle);

    src.failAfter = 5000;
    EXPECT_THROW(sink.RunInCallerThread(), EACSException);
    EXPECT_EQ(sink.dones.load(), 2); // finished before the error left
    EXPECT_EQ(sink.Status(), TACSOutputStatus::Idle);
    sink.failPrepare = true;
    EXPECT_THROW(sink.RunInCallerThread(), EACSException);
    EXPECT_EQ(sink.dones.load(), 2);
}

TEST(AudioFramework, DoneDoesNotWaitForAnEventHandlerThatWaitsForTheOwner)
{
    TMemorySource src(Ramp(400000), 44100, 2, 16);
    TCollectSink sink;
    std::promise<void> entered;
    std::atomic<bool> once{false};
    TGate release; // stands for a blocking hand-off to the owner's thread
    sink.SetOnProgress([&](TACSOutput*) {
        if (once.exchange(true))
            return;
        entered.set_value();
        release.Hold();
    });
    sink.SetInput(&src);
    sink.Run();
    entered.get_future().wait();
    sink.Pause();
    auto done = std::async(std::launch::async, [&] { sink.Done(); });
    const bool finished = done.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    release.Open();
    done.wait();
    EXPECT_TRUE(finished) << "Done waited for the event handler";
    EXPECT_EQ(sink.dones.load(), 1);
}
