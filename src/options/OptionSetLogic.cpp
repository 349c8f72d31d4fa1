#include "options/OptionSetLogic.h"

#include <QThread>

#include <algorithm>
#include <array>

#include "cd/OpenDrive.h"
#include "core/FileUtil.h"
#include "core/MessageBoxService.h"
#include "core/TextUtil.h"
#include "encoders/WmaProfiles.h"
#include "metadata/Genres.h"
#include "pipeline/JobScheduler.h"
#include "pipeline/OutputFormats.h"
#include "platform/cdaccess/CdAccess.h"

namespace {

constexpr std::array<int, 14> kMp3BitRates{32,  40,  48,  56,  64,  80,  96,
                                           112, 128, 160, 192, 224, 256, 320};
constexpr std::array<int, 14> kOggBitRates{45,  48,  56,  64,  80,  96,  112,
                                           128, 144, 160, 192, 224, 256, 320};

// A list entry: the number right-aligned in three characters, " kbit/s".
QString ListBitRate(int kbps)
{
    return QStringLiteral("%1 kbit/s").arg(kbps, 3);
}

// Positions past the list's end show nothing selected.
int ListPosition(int32_t stored, int count)
{
    return stored >= 0 && stored < count ? stored : -1;
}

void StoreIndex(int position, int32_t& target)
{
    if (position >= 0)
        target = position;
}

} // namespace

TOptionSetLogic::TOptionSetLogic(const TOptionsSetting& defaults) : defaults_(defaults) {}

TOptionFormValues TOptionSetLogic::Open(const TOptionsSetting& s, const IDriveHost* host)
{
    TOptionFormValues v;
    const TCommonOptions& c = s.CommonOptions;
    v.OutputDir = c.OutputFolder;
    v.DeleteWav = !c.IsKeepWav;
    v.OutputFormat = ListPosition(c.OutputFormat, int(OutputFormatItems().size()));
    v.Normalize = c.IsNormalize;
    v.NormalizePercent = std::clamp<int32_t>(c.NormalizePercent, 0, 100);
    v.EnableRipTime = c.EnableRipTime;
    v.RipTime = QString::number(c.RipTime);

    const TMp3Options& m = s.Mp3Options;
    v.SelectVBR = m.IsSelectVBR;
    v.VBRHead = m.IsVBRHead;
    v.BitRate = BitRateText(m.BitRate);
    v.MaxBitRate = BitRateText(m.MaxBitRate);
    v.VBRQuality = ListPosition(m.VBRQuality, int(VBRQualityItems().size()));
    v.MpegQuality = ListPosition(m.MpegQuality, int(MpegQualityItems().size()));
    v.StereoMode = ListPosition(m.StereoMode, int(StereoModeItems().size()));

    const TOggOptions& o = s.OggOptions;
    const int oggCount = int(OggBitRateItems().size());
    v.UseCompress = o.IsUseCompress;
    v.CompressPosition = std::clamp<int32_t>(o.CompressPosition, 30, 100);
    v.OggNomBit = ListPosition(o.NomalBitRate, oggCount);
    v.OggMaxBit = ListPosition(o.MaxBitRate, oggCount);
    v.OggMinBit = ListPosition(o.MinBitRate, oggCount);

    v.WMABitrate = ListPosition(s.WMAOptions.BitRate, WmaProfileCount);

    v.UseID3 = s.ID3.Use;
    v.Artist = s.CDInfo.Artist;
    v.Album = s.CDInfo.Album;
    v.Comment = s.CDInfo.Comment;
    v.Year = s.CDInfo.Year;
    v.Genre = ListPosition(s.CDInfo.Genre, GenreListCount);

    // No drive chosen yet counts as the first one.
    v.CDListCount = 0;
    v.CDIndex = s.CDOptions.Index == -1 ? 0 : s.CDOptions.Index;
    v.CDDb = s.CDOptions.CDDb;
    openingCDIndex_ = v.CDIndex;
    if (host != nullptr) {
        openingCDIndex_ = host->OpenDriveIndex();
        if (openingCDIndex_ >= 0)
            v.CDIndex = openingCDIndex_;
    }
    openingCDDb_ = v.CDDb;
    v.Paranoia = std::clamp<int32_t>(s.CDOptions.Paranoia, 0, 2);
    v.ReadOffset = std::clamp(s.CDOptions.ReadOffset, -kMaxReadOffset, kMaxReadOffset);
    v.AccurateRip = s.AccurateRip.Enabled;
    v.ParallelEncoders =
        s.CommonOptions.ParallelEncoders == 0
            ? 0
            : EncodeLaneWidth(s.CommonOptions.ParallelEncoders, QThread::idealThreadCount());
    return v;
}

int TOptionSetLogic::MaxEncoders()
{
    return 2 * std::max(QThread::idealThreadCount(), 1);
}

void TOptionSetLogic::LameDefaults(TOptionFormValues& v) const
{
    const TMp3Options& d = defaults_.Mp3Options;
    v.SelectVBR = d.IsSelectVBR;
    v.VBRHead = d.IsVBRHead;
    v.BitRate = ListBitRate(d.BitRate);
    v.MaxBitRate = ListBitRate(d.MaxBitRate);
    v.VBRQuality = ListPosition(d.VBRQuality, int(VBRQualityItems().size()));
    v.MpegQuality = ListPosition(d.MpegQuality, int(MpegQualityItems().size()));
    v.StereoMode = ListPosition(d.StereoMode, int(StereoModeItems().size()));
}

void TOptionSetLogic::WmaDefaults(TOptionFormValues& v) const
{
    v.WMABitrate = ListPosition(defaults_.WMAOptions.BitRate, WmaProfileCount);
}

void TOptionSetLogic::DrivesListed(TOptionFormValues& v, int count)
{
    v.CDListCount = std::max(count, 0);
    if (v.CDIndex >= v.CDListCount)
        v.CDIndex = -1;
}

TOptionProblem TOptionSetLogic::Check(const TOptionFormValues& v)
{
    TOptionProblem p;
    if (!DirectoryExists(v.OutputDir)) {
        p.Control = TOptionProblem::OutputDir;
        p.Tab = tabOutput;
        p.Text = v.OutputDir + QStringLiteral(",") +
                 QStringLiteral("The output directory does not exist.");
        return p;
    }
    int32_t ripTime = 0;
    // -100 is what a failed conversion read as, so it is refused too.
    if (!ParseDecimal(v.RipTime, ripTime) || ripTime == -100) {
        p.Control = TOptionProblem::RipTime;
        p.Tab = tabOutput;
        p.Text = QStringLiteral("Please check the song length to extract.");
        return p;
    }
    int32_t kbps = 0;
    if (!ParseBitRate(v.BitRate, kbps)) {
        p.Control = TOptionProblem::BitRate;
        p.Tab = tabLame;
        p.Text = QStringLiteral("Please check the minimum bitrate.");
        return p;
    }
    if (!ParseBitRate(v.MaxBitRate, kbps)) {
        p.Control = TOptionProblem::MaxBitRate;
        p.Tab = tabLame;
        p.Text = QStringLiteral("Please check the maximum bitrate.");
        return p;
    }
    return p;
}

bool TOptionSetLogic::Store(const TOptionFormValues& v, TOptionsSetting& s)
{
    if (Check(v))
        return false;
    TCommonOptions& c = s.CommonOptions;
    c.OutputFolder = v.OutputDir;
    c.IsKeepWav = !v.DeleteWav;
    StoreIndex(v.OutputFormat, c.OutputFormat);
    c.IsNormalize = v.Normalize;
    c.NormalizePercent = std::clamp(v.NormalizePercent, 0, 100);
    c.EnableRipTime = v.EnableRipTime;
    ParseDecimal(v.RipTime, c.RipTime);

    TMp3Options& m = s.Mp3Options;
    m.IsSelectVBR = v.SelectVBR;
    m.IsVBRHead = v.VBRHead;
    ParseBitRate(v.BitRate, m.BitRate);
    ParseBitRate(v.MaxBitRate, m.MaxBitRate);
    StoreIndex(v.VBRQuality, m.VBRQuality);
    StoreIndex(v.MpegQuality, m.MpegQuality);
    StoreIndex(v.StereoMode, m.StereoMode);

    TOggOptions& o = s.OggOptions;
    o.IsUseCompress = v.UseCompress;
    o.CompressPosition = std::clamp(v.CompressPosition, 30, 100);
    StoreIndex(v.OggNomBit, o.NomalBitRate);
    StoreIndex(v.OggMaxBit, o.MaxBitRate);
    StoreIndex(v.OggMinBit, o.MinBitRate);

    StoreIndex(v.WMABitrate, s.WMAOptions.BitRate);

    s.ID3.Use = v.UseID3;
    s.CDInfo.Artist = v.Artist;
    s.CDInfo.Album = v.Album;
    s.CDInfo.Comment = v.Comment;
    s.CDInfo.Year = v.Year;
    s.CDInfo.Genre = v.Genre >= 0 && v.Genre < GenreListCount ? v.Genre : -1;

    // A drive list never filled, or with nothing picked, keeps the stored choice.
    if (v.CDListCount > 0)
        StoreIndex(v.CDIndex, s.CDOptions.Index);
    s.CDOptions.CDDb = v.CDDb;
    if (v.Paranoia >= 0)
        s.CDOptions.Paranoia = std::clamp(v.Paranoia, 0, 2);
    s.CDOptions.ReadOffset = std::clamp(v.ReadOffset, -kMaxReadOffset, kMaxReadOffset);
    s.AccurateRip.Enabled = v.AccurateRip;
    s.CommonOptions.ParallelEncoders = std::clamp(v.ParallelEncoders, 0, MaxEncoders());
    return true;
}

bool TOptionSetLogic::DriveSwitchNeeded(const TOptionFormValues& v) const
{
    if (v.CDListCount <= 0 || v.CDIndex < 0 || v.CDIndex >= v.CDListCount)
        return false;
    return v.CDIndex != openingCDIndex_ || v.CDDb != openingCDDb_;
}

TOptionProblem TOptionSetLogic::Accept(const TOptionFormValues& v, TOptionsSetting& s,
                                       IDriveHost* host) const
{
    const TOptionProblem problem = Check(v);
    if (problem) {
        ShowError(problem.Text);
        return problem;
    }
    Store(v, s);
    if (host && DriveSwitchNeeded(v))
        host->UseDrive(OpenDrive(v.CDIndex));
    return {};
}

TOptionEnabling TOptionSetLogic::Enabling(const TOptionFormValues& v)
{
    TOptionEnabling e;
    e.NormalizePercent = v.Normalize;
    e.RipTime = v.EnableRipTime;
    e.VBRHead = e.MaxBitRate = e.VBRQuality = v.SelectVBR;
    return e;
}

QStringList TOptionSetLogic::OutputFormatItems()
{
    // The list position is the stored OutputFormat: the table is in that order.
    QStringList items;
    for (const TOutputFormat& format : OutputFormats())
        items << format.Item();
    return items;
}

QStringList TOptionSetLogic::Mp3BitRateItems()
{
    QStringList items;
    for (const int kbps : kMp3BitRates)
        items << ListBitRate(kbps);
    return items;
}

QStringList TOptionSetLogic::VBRQualityItems()
{
    QStringList items;
    for (int q = 0; q <= 9; ++q)
        items << QString::number(q);
    return items;
}

QStringList TOptionSetLogic::MpegQualityItems()
{
    return {QStringLiteral("Default"), QStringLiteral("Faster encode/Lower quality"),
            QStringLiteral("Slower encode/Higher quality")};
}

QStringList TOptionSetLogic::StereoModeItems()
{
    return {QStringLiteral("Stereo"), QStringLiteral("Joint Stereo"),
            QStringLiteral("Forced Joint Stereo"), QStringLiteral("Dual Channels"),
            QStringLiteral("Mono")};
}

QStringList TOptionSetLogic::OggBitRateItems()
{
    QStringList items{QStringLiteral(" Default")};
    for (const int kbps : kOggBitRates)
        items << ListBitRate(kbps);
    return items;
}

QStringList TOptionSetLogic::WmaBitRateItems()
{
    QStringList items;
    for (int i = 0; i < WmaProfileCount; ++i)
        items << WmaProfileCaption(i);
    return items;
}

QStringList TOptionSetLogic::ParanoiaItems()
{
    return {QStringLiteral("Off"), QStringLiteral("Overlap only"),
            QStringLiteral("Full, with retries")};
}

QStringList TOptionSetLogic::DriveNames()
{
    DriveList list;
    GetCDList(list);
    QStringList names;
    const int count = std::min<int>(list.Count, kDriveListCapacity);
    for (int i = 0; i < count; ++i)
        names << DriveName(list.Entries[size_t(i)]).trimmed();
    return names;
}

QString TOptionSetLogic::BitRateText(int kbps)
{
    return QString::number(kbps) + QStringLiteral(" kbit/s");
}

bool TOptionSetLogic::ParseBitRate(const QString& text, int32_t& kbps)
{
    return ParseDecimal(text.left(3), kbps);
}

QString TOptionSetLogic::BrowseTitle()
{
    return QStringLiteral("Please select the directory to save mp3 and wav file");
}
