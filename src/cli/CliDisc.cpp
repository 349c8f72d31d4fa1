#include "cli/CliDisc.h"

#include <cerrno>

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>

#include "app/DiscInfoStore.h"
#include "cd/TrackGeometry.h"
#include "core/FileUtil.h"
#include "core/Settings.h"
#include "core/TextUtil.h"
#include "metadata/Genres.h"
#include "metadata/MusicBrainz.h"
#include "platform/cdaccess/CdAccess.h"
#include "platform/cdaccess/DriveCatalog.h"
#include "platform/cdaccess/LibcdioCdAccess.h"
#include "platform/cddb/CddbDisc.h"
#include "platform/drives/DriveQueries.h"
#include "verify/AccurateRip.h"

namespace {

QString Msf(int32_t frames)
{
    return QStringLiteral("%1:%2.%3")
        .arg(frames / 4500, 2, 10, QLatin1Char('0'))
        .arg(frames / 75 % 60, 2, 10, QLatin1Char('0'))
        .arg(frames % 75, 2, 10, QLatin1Char('0'));
}

QString Field(const char* text, size_t size)
{
    return QString::fromUtf8(text, static_cast<qsizetype>(qstrnlen(text, static_cast<uint>(size))))
        .trimmed();
}

/// What is at path when it is no usable disc: one line, or empty when it may be one.
QString WhatIsWrong(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return errno == ENOENT ? QStringLiteral("%1: no such drive or disc image").arg(path)
                               : QStringLiteral("%1: %2").arg(path, SystemErrorText(errno));
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("%1: is a folder, not a drive or disc image").arg(path);
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))
        return QStringLiteral("%1: is a FIFO or socket, not a drive or disc image").arg(path);
    if (S_ISREG(st.st_mode) && !IsImageFileName(QFile::encodeName(path).toStdString()))
        return QStringLiteral("%1: is not a drive or a .cue or .toc disc image").arg(path);
    return {};
}

} // namespace

TCliDisc::~TCliDisc()
{
    if (handle_ != 0)
        CloseCDHandle(handle_);
    if (imageAccess_)
        InstallCdAccess(nullptr);
}

QString DriveNameOf(const DriveEntry& drive)
{
    const QString vendor = Field(drive.Vendor.data(), drive.Vendor.size());
    const QString product = Field(drive.Product.data(), drive.Product.size());
    return vendor.isEmpty() ? product : vendor + QLatin1Char(' ') + product;
}

bool TCliDisc::Open(const QString& device, QString& error)
{
    const QString problem = WhatIsWrong(device);
    const bool exists = problem.isEmpty() || !problem.contains(QLatin1String("no such"));
    if (!problem.isEmpty() && exists) {
        error = problem;
        return false;
    }
    DriveList list;
    int position = -1;
    const std::string native = QFile::encodeName(device).toStdString();
    if (exists && IsImageFileName(native)) {
        // The image alone, with its own absolute path, so its data files are held to its folder.
        imageAccess_ = std::make_unique<LibcdioCdAccess>(
            QFile::encodeName(QFileInfo(device).absoluteFilePath()).toStdString());
        InstallCdAccess(imageAccess_.get());
        GetCDList(list);
        position = list.Count > 0 ? 0 : -1;
        if (position < 0) {
            error = QStringLiteral("%1: not a usable disc image (its sheet or data files are "
                                   "unreadable, broken or outside its folder)")
                        .arg(device);
            return false;
        }
    } else {
        GetCDList(list);
        position = exists ? DrivePositionOfPath(device) : -1;
        // A drive's name as "drives" prints it also names it.
        for (int i = 0; position < 0 && i < list.Count; ++i) {
            if (DriveNameOf(list.Entries[static_cast<size_t>(i)]) == device)
                position = i;
        }
        if (position < 0) {
            error = exists ? QStringLiteral("%1: not a CD drive").arg(device) : problem;
            return false;
        }
    }
    const DriveEntry& drive = list.Entries[static_cast<size_t>(position)];
    handle_ = GetCDHandle(HandleRequest::For(drive));
    if (handle_ == 0) {
        error = QStringLiteral("%1: the drive cannot be opened").arg(device);
        return false;
    }
    name_ = DriveNameOf(drive);
    path_ = QFile::decodeName(CdAccess().DrivePath(drive).c_str());
    ModifyCDParms(handle_, kCdpMsf, 1);
    if (ReadTOC(handle_, toc_) != 1) {
        error = QStringLiteral("%1: no disc, or its table of contents cannot be read").arg(device);
        return false;
    }
    key_ = DiscKeyOf(toc_);
    if (key_.isEmpty()) {
        error = QStringLiteral("%1: the disc has no audio track").arg(device);
        return false;
    }
    return true;
}

bool TCliDisc::IsAudio(int track) const
{
    return track >= toc_.FirstTrack && track <= toc_.LastTrack &&
           !toc_.Entries[static_cast<size_t>(track - 1)].IsData();
}

QString DriveListText()
{
    DriveList list;
    GetCDList(list);
    if (list.Count == 0)
        return QStringLiteral("No drive and no disc image.\n");
    QString out;
    for (int i = 0; i < list.Count; ++i) {
        const DriveEntry& drive = list.Entries[static_cast<size_t>(i)];
        TocRecord toc;
        QString disc = QStringLiteral("no disc");
        if (CdAccess().ReadDiscTOC(drive, toc) == 1) {
            int audio = 0;
            for (int t = toc.FirstTrack; t <= toc.LastTrack; ++t)
                audio += toc.Entries[static_cast<size_t>(t - 1)].IsData() ? 0 : 1;
            disc = audio == 0 ? QStringLiteral("no audio track")
                              : QStringLiteral("%1 audio track%2")
                                    .arg(audio)
                                    .arg(audio == 1 ? QString() : QStringLiteral("s"));
        }
        out += QStringLiteral("%1  %2  %3  (%4)\n")
                   .arg(i)
                   .arg(DriveNameOf(drive), QFile::decodeName(CdAccess().DrivePath(drive).c_str()),
                        disc);
    }
    return out;
}

void LoadDiscNames(const TCliDisc& disc)
{
    TCDInfo& info = OptionsSetting().CDInfo;
    info = TCDInfo{};
    LoadDiscInfo(disc.Key());
    const TocRecord& toc = disc.Toc();
    info.LastTrack = toc.LastTrack;
    for (int t = toc.FirstTrack; t <= toc.LastTrack && t <= TCDInfo::MaxTracks; ++t) {
        QString& title = info.Track[static_cast<size_t>(t)];
        if (title.isEmpty())
            title = DefaultTrackTitle(t);
    }
}

QString DiscInfoText(const TCliDisc& disc)
{
    const TocRecord& toc = disc.Toc();
    QString out = QStringLiteral("Drive: %1 (%2)\n").arg(disc.Name(), disc.Path());
    out += QStringLiteral("Tracks %1-%2:\n").arg(toc.FirstTrack).arg(toc.LastTrack);
    for (int t = toc.FirstTrack; t <= toc.LastTrack; ++t) {
        const TocEntry& e = toc.Entries[static_cast<size_t>(t - 1)];
        const auto span = TrackGeometry(toc, t);
        out += QStringLiteral("  %1  start %2  sector %3  length %4  %5\n")
                   .arg(TwoDigits(t), Msf(EntryFrames(e)))
                   .arg(span ? span->StartSector : 0, 6)
                   .arg(Msf(span ? span->LengthSectors : 0),
                        e.IsData() ? QStringLiteral("data") : QStringLiteral("audio"));
    }
    const TocEntry& leadOut = toc.Entries[static_cast<size_t>(toc.LastTrack)];
    out += QStringLiteral("  lead-out  %1  sector %2\n")
               .arg(Msf(EntryFrames(leadOut)))
               .arg(EntryFrames(leadOut) - kLeadInFrames);
    out += QStringLiteral("Disc key: %1\n").arg(disc.Key());
    const auto cddb = CddbDisc::FromToc(toc);
    const uint32_t cddbId = cddb ? cddb->DiscId() : 0;
    out += QStringLiteral("CDDB id: %1\n").arg(cddb ? CddbDiscIdText(cddbId) : QStringLiteral("-"));
    const auto mb = MusicBrainzToc(toc);
    QString mbId;
    if (mb) {
        CddbDisc mbDisc;
        mbDisc.Offsets = mb->Offsets;
        mbDisc.LeadOut = mb->LeadOut;
        mbId = MusicBrainzDiscId(mbDisc, mb->FirstTrack);
    }
    out += QStringLiteral("MusicBrainz id: %1\n").arg(mbId.isEmpty() ? QStringLiteral("-") : mbId);
    if (mb) {
        // AccurateRip counts sectors from the first track's usual start, without the lead-in.
        std::vector<int64_t> starts;
        for (size_t i = 0; i < mb->Offsets.size(); ++i) {
            if (!toc.Entries[static_cast<size_t>(mb->FirstTrack - 1) + i].IsData())
                starts.push_back(mb->Offsets[i] - kLeadInFrames);
        }
        const TAccurateRipIds ids = AccurateRipIdsOf(starts, mb->LeadOut - kLeadInFrames, cddbId);
        out += QStringLiteral("AccurateRip ids: %1-%2-%3-%4\n")
                   .arg(ids.AudioTracks, 3, 10, QLatin1Char('0'))
                   .arg(ids.Id1, 8, 16, QLatin1Char('0'))
                   .arg(ids.Id2, 8, 16, QLatin1Char('0'))
                   .arg(ids.Cddb, 8, 16, QLatin1Char('0'));
    }
    const TCDInfo& info = OptionsSetting().CDInfo;
    const QString genre =
        info.Genre >= 0 && info.Genre < GenreList().size() ? GenreList().at(info.Genre) : QString();
    out += QStringLiteral("Names (%1):\n")
               .arg(info.Source == TNamesSource::None ? QStringLiteral("none stored")
                                                      : NamesSourceKey(info.Source));
    out += QStringLiteral("  Artist: %1\n  Album: %2\n  Year: %3\n  Genre: %4\n")
               .arg(info.Artist, info.Album, info.Year, genre);
    for (int t = toc.FirstTrack; t <= toc.LastTrack && t <= TCDInfo::MaxTracks; ++t)
        out += QStringLiteral("  %1  %2\n").arg(TwoDigits(t), info.Track[static_cast<size_t>(t)]);
    return out;
}
