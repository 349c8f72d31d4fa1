#include "recorder/RecorderTestSupport.h"

#include "core/Settings.h"

RecorderRig::RecorderRig() : device([this] { return now; })
{
    ResetOptionsSetting();
    TRecorderHost host;
    host.CDHandle = [this] { return cdHandle; };
    host.RunJob = [this](int kind, int handle, const QStringList& list) {
        jobs.push_back({kind, handle, list, OptionsSetting().CommonOptions.OutputFormat});
    };
    logic = std::make_unique<TRecordLogic>(device, host);
    logic->NowMs = [this] { return now; };
    logic->SleepMs = [this](int64_t ms) {
        sleeps.push_back(ms);
        now += ms;
    };
    logic->CloseWindow = [this] { ++closeRequests; };
    logic->AskNewRecordFormat = [this](TNewRecordChoice& c) {
        ++newDialogs;
        c = choice;
        return choiceOk;
    };
    logic->FormCreate();
}

RecorderRig::~RecorderRig()
{
    logic.reset();
    ResetOptionsSetting();
}

void RecorderRig::NewRecording(const QString& rate, bool eightBit, bool mono)
{
    choice = {rate, eightBit, mono};
    choiceOk = true;
    logic->New();
}

void RecorderRig::RecordFor(int64_t ms)
{
    logic->ClickButton(btRecord);
    Advance(ms);
    logic->TimerRecordTimer();
    logic->ClickButton(btStop);
}

void RecorderRig::SaveAs(const QString& name)
{
    pickers.PlanAnswer({File(name)});
    logic->actSaveExecute();
}
