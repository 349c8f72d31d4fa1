#include "verify/RipLog.h"

#include <QStringList>

namespace {

QString Hex(uint32_t v)
{
    return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')).toUpper();
}

QString Two(int64_t n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

/// Text inside a cue sheet's double quotes: it has no way to escape one, and a line break
/// would end the command.
QString CueText(QString text)
{
    text.replace(QLatin1Char('"'), QLatin1Char('\''));
    for (QChar& c : text)
        if (c.unicode() < 0x20)
            c = QLatin1Char(' ');
    return text;
}

QString Msf(int64_t frames)
{
    return Two(frames / (75 * 60)) + QLatin1Char(':') + Two(frames / 75 % 60) + QLatin1Char(':') +
           Two(frames % 75);
}

} // namespace

QString RipLogSummary(const TRipLog& log)
{
    const int total = static_cast<int>(log.Tracks.size());
    int accurate = 0;
    QStringList mismatched;
    QStringList unverified;
    QStringList tooShort;
    QStringList notRipped;
    int64_t uncorrected = 0;
    for (const TRipLogTrack& t : log.Tracks) {
        uncorrected += t.UncorrectedSectors;
        if (!t.Ripped)
            notRipped << Two(t.Number);
        else if (t.Result.Status == TVerifyStatus::Accurate)
            ++accurate;
        else if (t.Result.Status == TVerifyStatus::Mismatch)
            mismatched << Two(t.Number);
        else if (t.Result.Status == TVerifyStatus::NoChecksum)
            tooShort << Two(t.Number);
        else
            unverified << Two(t.Number);
    }
    QString text;
    if (accurate == total && total > 0)
        text = QStringLiteral("All %1 tracks accurately ripped").arg(total);
    else
        text = QStringLiteral("%1 of %2 tracks accurately ripped").arg(accurate).arg(total);
    if (!mismatched.isEmpty())
        text += QStringLiteral("; mismatch: tracks %1").arg(mismatched.join(QStringLiteral(", ")));
    if (!unverified.isEmpty())
        text +=
            QStringLiteral("; not verified: tracks %1").arg(unverified.join(QStringLiteral(", ")));
    if (!tooShort.isEmpty())
        text += QStringLiteral("; too short for a checksum: tracks %1")
                    .arg(tooShort.join(QStringLiteral(", ")));
    if (!notRipped.isEmpty())
        text += QStringLiteral("; not ripped: tracks %1").arg(notRipped.join(QStringLiteral(", ")));
    if (uncorrected > 0)
        text += QStringLiteral("; %1 sectors could not be corrected").arg(uncorrected);
    return text;
}

QString RipLogText(const TRipLog& log)
{
    QString out;
    const auto line = [&](const QString& text) { out += text + QLatin1Char('\n'); };
    line(log.Program + QStringLiteral(" rip log"));
    line(QStringLiteral("Date: %1").arg(log.Date));
    line(QStringLiteral("Drive: %1").arg(log.Drive));
    line(QStringLiteral("Read offset: %1 samples").arg(log.ReadOffset));
    line(QStringLiteral("Secure reading: %1").arg(log.Paranoia));
    line(QStringLiteral("Artist: %1").arg(log.Artist));
    line(QStringLiteral("Album: %1").arg(log.Album));
    line(QStringLiteral("CDDB disc id: %1").arg(log.CddbId));
    line(QStringLiteral("MusicBrainz disc id: %1").arg(log.MusicBrainzId));
    line(QStringLiteral("AccurateRip disc ids: %1-%2-%3")
             .arg(Hex(log.AccurateRipIds.Id1), Hex(log.AccurateRipIds.Id2),
                  Hex(log.AccurateRipIds.Cddb)));
    line(QString());
    for (const TRipLogTrack& t : log.Tracks) {
        QString text = QStringLiteral("Track %1  ").arg(Two(t.Number));
        if (!t.Ripped) {
            line(text + QStringLiteral("not ripped"));
            continue;
        }
        text += QStringLiteral("copy CRC %1  ").arg(Hex(t.CopyCrc));
        if (t.HasAccurateRip)
            text += QStringLiteral("AccurateRip v1 %1  v2 %2  ").arg(Hex(t.V1), Hex(t.V2));
        text += VerifyText(t.Result);
        if (t.UncorrectedSectors > 0)
            text +=
                QStringLiteral("  (%1 sectors could not be corrected)").arg(t.UncorrectedSectors);
        line(text);
    }
    line(QString());
    if (!log.Ending.isEmpty())
        line(QStringLiteral("The rip %1.").arg(log.Ending));
    line(RipLogSummary(log));
    return out;
}

QString CueSheetText(const QString& performer, const QString& title,
                     const std::vector<TCueTrack>& tracks)
{
    QString out;
    const auto line = [&](const QString& text) { out += text + QStringLiteral("\r\n"); };
    line(QStringLiteral("PERFORMER \"%1\"").arg(CueText(performer)));
    line(QStringLiteral("TITLE \"%1\"").arg(CueText(title)));
    for (const TCueTrack& t : tracks) {
        const bool mp3 = t.File.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive);
        line(QStringLiteral("FILE \"%1\" %2")
                 .arg(CueText(t.File), mp3 ? QStringLiteral("MP3") : QStringLiteral("WAVE")));
        line(QStringLiteral("  TRACK %1 AUDIO").arg(Two(t.Number)));
        line(QStringLiteral("    TITLE \"%1\"").arg(CueText(t.Title)));
        line(QStringLiteral("    PERFORMER \"%1\"").arg(CueText(t.Performer)));
        if (t.PregapFrames > 0)
            line(QStringLiteral("    PREGAP %1").arg(Msf(t.PregapFrames)));
        line(QStringLiteral("    INDEX 01 00:00:00"));
    }
    return out;
}
