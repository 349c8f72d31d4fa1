#include "encoders/Mp3EncodeProcess.h"

#include <QFile>

#include "core/AppEvents.h"
#include "core/AppPaths.h"
#include "encoders/LameOutput.h"
#include "encoders/ToolOutput.h"
#include "platform/process/ChildProcess.h"

namespace {

// lame reads a lone "-" as standard input and takes "-x" for a switch.
QString AsPathArgument(const QString& path)
{
    return path.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + path : path;
}

} // namespace

QString TMp3EncodeProcess::LameProgram()
{
    const QString local = ExecutableDir() + QStringLiteral("lame");
    if (IsExecutableFile(QFile::encodeName(local).toStdString()))
        return local;
    return QStringLiteral("lame");
}

QString TMp3EncodeProcess::FindProgram() const
{
    return LameProgram();
}

TToolCommand TMp3EncodeProcess::BuildCommand(const QString& program)
{
    TToolCommand cmd;
    QStringList& args = cmd.Arguments;
    args << (program.isEmpty() ? QStringLiteral("lame") : program);
    QString line = QStringLiteral("lame");
    auto add = [&](const QString& arg) {
        args << arg;
        line += QLatin1Char(' ') + arg;
    };

    if (!Encode) {
        add(QStringLiteral("--decode"));
    } else {
        const TMp3Options& o = Settings;
        add(QStringLiteral("-b"));
        add(QString::number(o.BitRate));
        static const char* const modes[] = {"s", "j", "f", "d", "m"};
        if (o.StereoMode >= 0 && o.StereoMode <= 4) {
            add(QStringLiteral("-m"));
            add(QString::fromLatin1(modes[o.StereoMode]));
        }
        if (o.MpegQuality == 1)
            add(QStringLiteral("-f"));
        else if (o.MpegQuality == 2)
            add(QStringLiteral("-h"));
        if (o.IsSelectVBR) {
            add(QStringLiteral("-V"));
            add(QString::number(o.VBRQuality));
            add(QStringLiteral("-B"));
            add(QString::number(o.MaxBitRate));
            if (o.IsVBRHead)
                add(QStringLiteral("-t"));
        }
    }
    args << AsPathArgument(InputFile) << AsPathArgument(WritePath());
    line += QLatin1Char(' ') + QuotedForDisplay(InputFile) + QLatin1Char(' ') +
            QuotedForDisplay(WritePath());
    cmd.DisplayLine = line;
    return cmd;
}

bool TMp3EncodeProcess::SkipsOverwriteQuestion() const
{
    return JobKind == 1 || JobKind == 4;
}

bool TMp3EncodeProcess::EchoesFileName(const QString& line) const
{
    return (!InputFile.isEmpty() && line.contains(InputFile)) ||
           (!WritePath().isEmpty() && line.contains(WritePath()));
}

void TMp3EncodeProcess::ParseOutput(const QByteArray& chunk)
{
    const QStringList lines = SplitToolOutput(chunk);
    for (const QString& line : lines) {
        if (EchoesFileName(line))
            continue;
        const std::optional<TProgressReport> report =
            Encode ? ParseLameEncodeLine(line, progressColumn_)
                   : ParseLameDecodeLine(line, progressColumn_, ElapsedSinceStart());
        if (report)
            PostProgress(report->Percent, report->ElapsedText, report->TotalText);
    }
}

void TMp3EncodeProcess::ReportEnd(int32_t outcome, const QString& text)
{
    PostAppEvent(NotifyWindow.data(), MakeJobProgress(JobCode::Mp3Ended, text, {}, outcome));
}

qint64 TMp3EncodeProcess::MinimumOutputBytes() const
{
    // A decoded WAV holds at least its header.
    return Encode ? 1 : 44;
}

QString TMp3EncodeProcess::IncompleteOutput() const
{
    if (Encode)
        return {};
    // lame exits 0 after its writes failed (a full disk), leaving a header that promises more.
    QFile file(WritePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    if (DecodedWavIsWhole(file.read(kDecodedWavHeadBytes), file.size()))
        return {};
    return QStringLiteral(" left an incomplete file in ") + OutputFile + QLatin1Char('.');
}
