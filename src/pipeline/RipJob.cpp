#include "pipeline/RipJob.h"

#include <algorithm>

#include <QFile>

#include "cd/CDRipThread.h"
#include "core/AppEvents.h"
#include "core/FileUtil.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "core/TextUtil.h"

QString JobCaption(const QString& verb, int k, int n, const QString& text)
{
    return verb + QLatin1Char('(') + TwoDigits(k) + QLatin1Char('/') + TwoDigits(n) +
           QStringLiteral("): ") + text;
}

TRipJob::TRipJob(int jobKind, int cdHandle, const QStringList& list, QObject* parent)
    : QObject(parent), kind_(jobKind), cdHandle_(cdHandle), fileList_(list), entries_(list)
{
    timer1_.setInterval(1000);
    if (Count() == 0) {
        fileList_.reset();
        return;
    }
    if (kind_ == jkRipTracks) {
        StartExtraction(0);
        view_.Label3 = QStringLiteral("Initializing...");
        SetCaption(QStringLiteral("Extracting"), 1, Title(0));
    }
    view_.Label1.clear();
    view_.Label2.clear();
    view_.BarTextVisible = false;
}

TRipJob::~TRipJob()
{
    Cleanup();
}

QString TRipJob::OutputDir()
{
    return IncludeTrailingSlash(OptionsSetting().CommonOptions.OutputFolder);
}

QString TRipJob::Title(int k) const
{
    return entries_.value(k).mid(2);
}

int TRipJob::TrackNumber(int k) const
{
    int32_t n = 0;
    return ParseDecimal(entries_.value(k).left(2), n) ? n : 0;
}

void TRipJob::SetCaption(const QString& verb, int k, const QString& text)
{
    view_.Caption = JobCaption(verb, k, Count(), text);
    Changed();
}

void TRipJob::StartExtraction(int k)
{
    auto thread = std::make_unique<TCDRipThread>(TrackNumber(k), Title(k));
    thread->SetDriveHandle(cdHandle_);
    thread->SetReceiver(this);
    ripThread_ = std::move(thread);
    ripThread_->Resume();
}

void TRipJob::StartNextExtraction()
{
    SetCaption(QStringLiteral("Extracting"), extractIndex_ + 1, Title(extractIndex_));
    view_.Label3 = QStringLiteral("Initializing...");
    view_.GroupCaption = QStringLiteral("Extracting");
    ripThread_.reset(); // waits for the finished thread
    StartExtraction(extractIndex_);
    Changed();
}

bool TRipJob::event(QEvent* e)
{
    if (e->type() == static_cast<QEvent::Type>(WM_JOBPROGRESS)) {
        HandleJobProgress(std::move(static_cast<JobProgressEvent*>(e)->Info));
        return true;
    }
    if (e->type() == static_cast<QEvent::Type>(WM_RIPFAILED)) {
        HandleRipFailed(static_cast<RipFailedEvent*>(e)->Code);
        return true;
    }
    return QObject::event(e);
}

void TRipJob::HandleJobProgress(std::unique_ptr<TProcessInfo> info)
{
    // Reports still queued from a job that has ended change nothing.
    if (!info || !Running())
        return;
    switch (info->Percent) {
    case JobCode::NormalizeStarts:
        SetCaption(QStringLiteral("Normalizing"), extractIndex_ + 1, Title(extractIndex_));
        break;
    case JobCode::ExtractEnded:
        HandleExtractEnded(*info);
        break;
    default:
        HandleProgress(*info);
        break;
    }
}

void TRipJob::HandleProgress(const TProcessInfo& info)
{
    timer1_.stop();
    progressSeen_ = true;
    view_.Label1 = info.ElapsedText;
    view_.Label2 = info.TotalText;
    if (info.Percent > 0) {
        view_.Label3Visible = false;
        view_.BarTextVisible = true;
        view_.Bar = std::clamp(info.Percent, 0, 100);
    }
    Changed();
}

void TRipJob::HandleExtractEnded(const TProcessInfo& info)
{
    const int c = info.ErrorCode;
    if (c == 3) {
        ShowError(QStringLiteral("Error while reading CD information!"));
    } else if (c == 5) {
        ShowError(OptionsSetting().CommonOptions.OutputFolder + QStringLiteral("/") + Title(extractIndex_) +
                  QStringLiteral(".wav") +
                  QStringLiteral(" is not a valid file name.Please rename the Title in the CD tracks list."));
    }
    ++extractIndex_;
    if (!Running())
        return; // a message box let the user stop the job meanwhile
    // TODO(encoders): the MP3, OGG and WMA encode steps follow the extraction here.
    if (extractIndex_ == Count()) {
        Finish();
        return;
    }
    StartNextExtraction();
}

void TRipJob::HandleRipFailed(int code)
{
    if (!Running())
        return;
    if (code == 1)
        ShowError(QStringLiteral("CD extract failed!Please try again."));
    else if (code == 2)
        ShowError(QStringLiteral("Error while reading TOC information!"));
    // The job waits for Stop.
}

void TRipJob::Finish()
{
    Cleanup();
    Q_EMIT CloseRequested();
}

void TRipJob::Cleanup()
{
    if (!fileList_)
        return;
    if (ripThread_) {
        ripThread_->StopRequested = true;
        ripThread_.reset();
    }
    timer1_.stop();
    const TCommonOptions& common = OptionsSetting().CommonOptions;
    if (kind_ == jkRipTracks && extractIndex_ == Count() && !common.IsKeepWav &&
        (common.OutputFormat == ofMP3 || common.OutputFormat == ofOGG || common.OutputFormat == ofWMA)) {
        for (int k = 0; k < Count(); ++k) {
            const QString wav = OutputDir() + Title(k) + QStringLiteral(".wav");
            if (IsValidFileName(Title(k) + QStringLiteral(".wav")) && FileExists(wav) && !IsFileInUse(wav))
                QFile::remove(wav);
        }
    }
    fileList_.reset();
}

void TRipJob::Stop()
{
    Cleanup();
    Q_EMIT CloseRequested();
}
