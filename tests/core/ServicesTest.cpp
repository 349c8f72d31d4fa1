#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <gtest/gtest.h>

#include "core/AppEvents.h"
#include "core/AppException.h"
#include "core/ErrorHandler.h"
#include "core/FileDialogService.h"
#include "core/MessageBoxService.h"
#include "core/ThreadHandoff.h"
#include "support/TestSupport.h"

namespace {

class Receiver : public QObject {
public:
    std::vector<int32_t> percents;
    std::vector<int> failures;
    bool event(QEvent* e) override
    {
        if (e->type() == static_cast<QEvent::Type>(WM_JOBPROGRESS)) {
            percents.push_back(static_cast<JobProgressEvent*>(e)->Info->Percent);
            return true;
        }
        if (e->type() == static_cast<QEvent::Type>(WM_RIPFAILED)) {
            failures.push_back(static_cast<RipFailedEvent*>(e)->Code);
            return true;
        }
        return QObject::event(e);
    }
};

} // namespace

TEST(Services, ScriptedBoxesRecordAndAnswerInOrder)
{
    ScriptedMessageBoxService boxes;
    boxes.PlanAnswer(MbAnswer::No);
    EXPECT_EQ(AskYesNo(QStringLiteral("first?")), MbAnswer::No);
    // Queue empty: the default button answers.
    EXPECT_EQ(AskYesNo(QStringLiteral("second?"), MbIcon::Information, MbAnswer::No), MbAnswer::No);
    ShowError(QStringLiteral("bad"));
    ASSERT_EQ(boxes.Shown().size(), 3u);
    EXPECT_EQ(boxes.Shown()[2].Caption, QStringLiteral("Platterly"));
    EXPECT_EQ(boxes.Shown()[2].Icon, MbIcon::Error);
    EXPECT_EQ(boxes.Shown()[0].Buttons, MbButtons::YesNo);
}

TEST(Services, GeneralHandlerShowsExceptionText)
{
    ScriptedMessageBoxService boxes;
    EXPECT_FALSE(GuardedCall([] { throw EAppException("Unable to write to /x/options.ini"); }));
    EXPECT_TRUE(GuardedCall([] {}));
    EXPECT_FALSE(GuardedCall([] { throw 42; }));
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[0].Text, QStringLiteral("Unable to write to /x/options.ini"));
    EXPECT_EQ(boxes.Shown()[0].Icon, MbIcon::Error);
}

TEST(Services, ScriptedServicesRestoreThePreviousOne)
{
    {
        ScriptedMessageBoxService outer;
        {
            ScriptedMessageBoxService inner;
            ShowInformation(QStringLiteral("to inner"));
            EXPECT_EQ(inner.Shown().size(), 1u);
        }
        ShowInformation(QStringLiteral("to outer"));
        EXPECT_EQ(outer.Shown().size(), 1u);
    }
    ScriptedFileDialogService files;
    files.PlanAnswer({QStringLiteral("/a.wav"), QStringLiteral("/b.wav")});
    FileDialogRequest r;
    r.Filter = QStringLiteral("Sound file(*.wav)|*.wav| Any file(*.*)|*.*");
    EXPECT_EQ(FileDialogs().Pick(r).size(), 2);
    EXPECT_TRUE(FileDialogs().Pick(r).isEmpty());
    EXPECT_EQ(QtFilterFromWindows(r.Filter), QStringLiteral("Sound file(*.wav);;Any file(*.*)"));
    EXPECT_EQ(QtFilterFromWindows(QStringLiteral("Index files|*.mp3;*.MP3")),
              QStringLiteral("Index files (*.mp3 *.MP3)"));
}

TEST(Events, PostedReportsArriveInOrderAndSendBlocksUntilHandled)
{
    Receiver r;
    std::atomic<bool> sent{false};
    std::thread worker([&] {
        PostAppEvent(&r, MakeJobProgress(10));
        PostAppEvent(&r, std::make_unique<RipFailedEvent>(2));
        SendAppEvent(&r, MakeJobProgress(5000));
        sent = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return sent.load(); }));
    worker.join();
    EXPECT_EQ(r.percents, (std::vector<int32_t>{10, 5000}));
    EXPECT_EQ(r.failures, std::vector<int>{2});
}

namespace {
// A progress event that says when it is destroyed, so a test sees the record freed.
class WatchedEvent : public JobProgressEvent {
public:
    WatchedEvent(std::unique_ptr<TProcessInfo> info, bool& destroyed)
        : JobProgressEvent(std::move(info)), destroyed_(destroyed)
    {
    }
    ~WatchedEvent() override { destroyed_ = true; }

private:
    bool& destroyed_;
};
} // namespace

TEST(Events, PostToDeletedReceiverIsDroppedWithoutLeak)
{
    auto* r = new Receiver;
    bool destroyed = false;
    PostAppEvent(r, std::make_unique<WatchedEvent>(std::make_unique<TProcessInfo>(), destroyed));
    delete r; // Qt removes its pending events; the record goes with the event.
    EXPECT_TRUE(destroyed);
    PumpEvents(); // and nothing is left to reach the dead receiver
}

TEST(Events, CancelledSendReleasesTheWorkerWithoutDelivery)
{
    Receiver r;
    TCancelToken token;
    std::atomic<bool> waiting{false};
    std::thread worker([&] {
        waiting = true;
        SendAppEvent(&r, MakeJobProgress(4000), &token);
    });
    // The UI thread does not run its loop: it cancels, then joins the worker, which a plain
    // blocking send would deadlock.
    while (!waiting)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    token.Cancel();
    worker.join();
    PumpEvents();
    EXPECT_TRUE(r.percents.empty());
    // Cancelled stays cancelled until rearmed.
    std::thread again([&] { SendAppEvent(&r, MakeJobProgress(1), &token); });
    again.join();
    token.Rearm();
    std::atomic<bool> done{false};
    std::thread third([&] {
        SendAppEvent(&r, MakeJobProgress(2), &token);
        done = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
    third.join();
    EXPECT_EQ(r.percents, std::vector<int32_t>{2});
}

// Under ThreadSanitizer these show the queue as a hand-off: the call reads plain data the worker
// wrote before posting, with nothing else ordering the two threads.
TEST(Handoff, AQueuedCallSeesWhatTheWorkerWroteBeforePostingIt)
{
    QObject context;
    std::vector<int> written;
    std::vector<int> seen;
    std::atomic<bool> ran{false};
    std::thread worker([&] {
        written = {1, 2, 3};
        QueueCall(&context, [&] {
            seen = written;
            ran = true;
        });
    });
    ASSERT_TRUE(WaitUntil([&] { return ran.load(); }));
    worker.join();
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
}

TEST(Handoff, ACallQueuedToAContextThatDiesNeverRunsAndIsFreed)
{
    auto* context = new QObject;
    auto state = std::make_shared<int>(0);
    const std::weak_ptr<int> watch = state;
    bool ran = false;
    QueueCall(context, [state = std::move(state), &ran] { ran = true; });
    delete context;
    PumpEvents();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(watch.expired());
}

TEST(Handoff, ABlockingCallRunsOnTheContextsThreadBeforeTheWorkerGoesOn)
{
    QObject context;
    std::atomic<bool> returned{false};
    bool onContextThread = false;
    bool result = false;
    std::thread worker([&] {
        result = InvokeBlocking(
            &context, [&] { onContextThread = QThread::currentThread() == context.thread(); });
        returned = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_TRUE(onContextThread);
}
