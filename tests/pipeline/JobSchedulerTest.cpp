#include <map>
#include <tuple>

#include <gtest/gtest.h>

#include "pipeline/JobScheduler.h"

namespace {

using S = TStepType;

std::vector<TJobEntry> Entries(int n, const std::vector<S>& steps)
{
    std::vector<TJobEntry> entries;
    for (int k = 0; k < n; ++k) {
        TJobEntry e;
        e.Index = k;
        e.Track = k + 1;
        e.Title = QStringLiteral("Track %1").arg(k + 1);
        e.OutputBase = QStringLiteral("/out/%1").arg(k + 1);
        for (S s : steps)
            e.Steps.push_back({s});
        entries.push_back(e);
    }
    return entries;
}

/// Runs a job on fake steps on a virtual clock: each step takes duration(entry, step) ticks.
/// Checks the lanes at every start and records the order the steps ended in.
struct FakeRun {
    std::function<int(int, S)> duration;
    std::function<TStepEnd(int, S)> outcome = [](int, S) { return TStepEnd::Succeeded; };
    int width = 2;
    std::unique_ptr<TJobScheduler> scheduler;
    std::multimap<int, std::pair<int, S>> ends; // tick -> running step
    int now = 0;
    int peakDrive = 0;
    int peakEncode = 0;
    std::map<int, int> extractEnd;               // entry -> tick its extraction ended
    std::vector<std::tuple<int, S, int>> starts; // entry, step, tick
    std::vector<int> endOrder;                   // entries, as their last step ended

    void Run(int n, const std::vector<S>& steps)
    {
        scheduler = std::make_unique<TJobScheduler>(Entries(n, steps), width, [this](int e, S s) {
            peakDrive = std::max(peakDrive, scheduler->Running(TLane::Drive));
            peakEncode = std::max(peakEncode, scheduler->Running(TLane::Encode));
            starts.emplace_back(e, s, now);
            ends.emplace(now + duration(e, s), std::pair{e, s});
        });
        scheduler->Pump();
        while (!ends.empty()) {
            const auto it = ends.begin();
            now = it->first;
            const auto [e, s] = it->second;
            ends.erase(it);
            if (s == S::Extract)
                extractEnd[e] = now;
            scheduler->StepEnded(e, s, outcome(e, s));
            if (scheduler->Entry(e).Over())
                endOrder.push_back(e);
        }
    }
};

TEST(EncodeLaneWidth, ZeroIsOnePerCoreAndOthersStayWithinTwiceTheCores)
{
    for (const auto& [setting, cores, width] :
         {std::tuple{0, 2, 2}, std::tuple{0, 8, 8}, std::tuple{1, 2, 1}, std::tuple{3, 2, 3},
          std::tuple{-5, 2, 1}, std::tuple{1000, 2, 4}, std::tuple{0, 0, 1}})
        EXPECT_EQ(EncodeLaneWidth(setting, cores), width) << setting << " on " << cores;
}

TEST(JobScheduler, LanesNeverExceedTheirWidthAndEncodesFollowTheirExtraction)
{
    // Slow encodes pile up behind a fast drive; quick encodes wait for a slow one.
    const std::vector<std::pair<int, std::function<int(int, S)>>> cases = {
        {1, [](int, S s) { return s == S::Extract ? 1 : 7; }},
        {2, [](int, S s) { return s == S::Extract ? 1 : 7; }},
        {3, [](int e, S s) { return s == S::Extract ? 2 + e % 3 : 1 + (e * 5) % 4; }},
        {8, [](int e, S s) { return s == S::Extract ? 5 : 1 + e % 2; }},
    };
    for (const auto& [width, duration] : cases) {
        FakeRun run;
        run.width = width;
        run.duration = duration;
        run.Run(12, {S::Extract, S::Resample, S::Mp3});
        SCOPED_TRACE(width);
        EXPECT_EQ(run.peakDrive, 1);
        EXPECT_LE(run.peakEncode, width);
        EXPECT_EQ(run.starts.size(), 36u);
        EXPECT_TRUE(run.scheduler->Over());
        EXPECT_EQ(run.scheduler->Summary().Done, 12);
        EXPECT_EQ(run.scheduler->Percent(), 100);
        for (const auto& [e, s, tick] : run.starts) {
            if (s != S::Extract) {
                EXPECT_GE(tick, run.extractEnd.at(e)) << e;
            }
        }
    }
}

TEST(JobScheduler, TheDriveReadsOnWhileTracksEncode)
{
    FakeRun run;
    run.width = 2;
    run.duration = [](int, S s) { return s == S::Extract ? 3 : 5; };
    run.Run(10, {S::Extract, S::Mp3});
    // The drive never waits for an encoder: its last read ends after 10 reads, and the job
    // ends shortly after, far sooner than reads and encodes one after another (80).
    EXPECT_EQ(run.extractEnd.at(9), 30);
    EXPECT_LE(run.now, 35);
    EXPECT_EQ(run.peakEncode, 2);
}

TEST(JobScheduler, CompletionOrderChangesNoEntry)
{
    // The same job twice, its tracks ending in opposite orders: every entry keeps its title
    // and output name, and is the one its steps were started for.
    std::vector<std::vector<TJobEntry>> results;
    for (const bool reverse : {false, true}) {
        FakeRun run;
        run.width = 8;
        run.duration = [reverse](int e, S s) {
            return s == S::Extract ? 1 : (reverse ? 40 - 3 * e : 1 + e);
        };
        run.Run(8, {S::Extract, S::Vorbis});
        EXPECT_EQ(run.endOrder.front(), reverse ? 7 : 0);
        results.push_back(run.scheduler->Entries());
    }
    for (size_t k = 0; k < results[0].size(); ++k) {
        EXPECT_EQ(results[0][k].OutputBase, results[1][k].OutputBase);
        EXPECT_EQ(results[1][k].OutputBase, QStringLiteral("/out/%1").arg(k + 1));
        EXPECT_EQ(results[1][k].Title, QStringLiteral("Track %1").arg(k + 1));
    }
}

TEST(JobScheduler, AFailedStepSkipsTheRestOfItsEntryOnly)
{
    FakeRun run;
    run.width = 2;
    run.duration = [](int e, S) { return 1 + e % 3; };
    run.outcome = [](int e, S s) {
        if (e == 1 && s == S::Extract)
            return TStepEnd::Failed;
        if ((e == 3 || e == 4) && s == S::Mp3) // two encoders failing together
            return TStepEnd::Failed;
        return TStepEnd::Succeeded;
    };
    run.Run(6, {S::Extract, S::Resample, S::Mp3});
    const TJobScheduler& s = *run.scheduler;
    EXPECT_EQ(s.Entry(1).Step(S::Resample)->State, TStepState::Skipped);
    EXPECT_EQ(s.Entry(1).Step(S::Mp3)->State, TStepState::Skipped);
    const TJobSummary summary = s.Summary();
    EXPECT_EQ(summary.Done, 3);
    EXPECT_EQ(summary.Failed, 3);
    EXPECT_EQ(summary.FailedTitles,
              (QStringList{QStringLiteral("Track 2"), QStringLiteral("Track 4"),
                           QStringLiteral("Track 5")}));
}

TEST(JobScheduler, StopStartsNothingMoreAndTakesNoLateEnd)
{
    std::vector<std::pair<int, S>> started;
    TJobScheduler s(Entries(99, {S::Extract, S::Mp3}), 2,
                    [&](int e, S st) { started.emplace_back(e, st); });
    s.Pump();
    ASSERT_EQ(started.size(), 1u);
    s.StepEnded(0, S::Extract, TStepEnd::Succeeded);
    ASSERT_EQ(started.size(), 3u); // track 1's encode and track 2's read
    s.Stop();
    EXPECT_TRUE(s.Over());
    EXPECT_FALSE(s.StepEnded(0, S::Mp3, TStepEnd::Succeeded));
    EXPECT_FALSE(s.StepEnded(1, S::Extract, TStepEnd::Succeeded));
    s.Pump();
    EXPECT_EQ(started.size(), 3u);
    EXPECT_EQ(s.Entry(0).Step(S::Mp3)->State, TStepState::Stopped);
    EXPECT_EQ(s.Summary().Skipped, 99);
}

TEST(JobScheduler, AStepEndingInsideItsStarterLetsTheNextOnesStartInOrder)
{
    // Picked files with nothing to do end at once; the lane still never overfills.
    std::vector<int> order;
    int peak = 0;
    TJobScheduler* self = nullptr;
    TJobScheduler s(Entries(6, {S::Resample, S::Mp3}), 2, [&](int e, S st) {
        peak = std::max(peak, self->Running(TLane::Encode));
        if (st == S::Resample) {
            self->StepEnded(e, st, e % 2 == 0 ? TStepEnd::Succeeded : TStepEnd::Skipped);
        } else {
            order.push_back(e);
        }
    });
    self = &s;
    s.Pump();
    EXPECT_EQ(order, (std::vector<int>{0, 2}));
    EXPECT_LE(peak, 2);
    s.StepEnded(0, S::Mp3, TStepEnd::Succeeded);
    s.StepEnded(2, S::Mp3, TStepEnd::Succeeded);
    EXPECT_EQ(order, (std::vector<int>{0, 2, 4}));
}

} // namespace
