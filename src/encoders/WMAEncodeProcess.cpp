#include "encoders/WMAEncodeProcess.h"

#include "core/AppEvents.h"
#include "core/AppPaths.h"
#include "core/FileUtil.h"
#include "core/MessageBoxService.h"
#include "core/TextUtil.h"
#include "encoders/ToolOutput.h"
#include "encoders/WmaOutput.h"
#include "encoders/WmaProfiles.h"

QString TWMAEncodeProcess::FindTool()
{
    const QString windows = ExecutableDir();
    for (const char* sub : {"", "system32/", "system/"}) {
        const QString path = windows + QLatin1String(sub) + QStringLiteral("WM8EUTIL");
        if (FileExists(path))
            return path;
    }
    return {};
}

QString TWMAEncodeProcess::SupportAddress()
{
    return QStringLiteral("support@platterly.example");
}

QString TWMAEncodeProcess::FindProgram() const
{
    return FindTool();
}

void TWMAEncodeProcess::ToolMissing()
{
    ShowInformation(QStringLiteral("Can not find WMA encoder,please contact with ") +
                    SupportAddress() + QStringLiteral("!"));
}

TToolCommand TWMAEncodeProcess::BuildCommand(const QString& program)
{
    const QString profile = WmaProfileValue(ValidWmaProfile(Profile));
    TToolCommand cmd;
    const QString tool = program.isEmpty() ? QStringLiteral("WM8EUTIL") : program;
    cmd.Arguments << tool << QStringLiteral("-input") << InputFile << QStringLiteral("-output")
                  << WritePath() << QStringLiteral("-a_setting") << profile;
    cmd.DisplayLine = tool + QStringLiteral(" -input ") + QuotedForDisplay(InputFile) +
                      QStringLiteral(" -output ") + QuotedForDisplay(WritePath()) +
                      QStringLiteral(" -a_setting ") + profile;
    // Each tag is one argument however many blanks it holds.
    if (!Author.isEmpty()) {
        cmd.Arguments << QStringLiteral("-author") << Author;
        cmd.DisplayLine += QStringLiteral(" -author ") + Author;
    }
    if (!Description.isEmpty()) {
        cmd.Arguments << QStringLiteral("-description") << Description;
        cmd.DisplayLine += QStringLiteral(" -description ") + Description;
    }
    return cmd;
}

bool TWMAEncodeProcess::SkipsOverwriteQuestion() const
{
    return JobKind == 1;
}

void TWMAEncodeProcess::ParseOutput(const QByteArray& chunk)
{
    const QStringList lines = SplitToolOutput(chunk);
    for (const QString& line : lines) {
        switch (ClassifyWmaLine(line)) {
        case TWmaLine::Error:
            // One end event per run: the exit that follows is not reported again.
            EndReporting();
            ReportEnd(StepOutcome::ErrorLine, line);
            return; // the window may already have started the next run
        case TWmaLine::Done: {
            int64_t elapsed = ElapsedSinceStart();
            if (elapsed == 0)
                elapsed = 1;
            PostProgress(100, Mmss(elapsed), Mmss(elapsed));
            break;
        }
        case TWmaLine::Other:
            break;
        }
    }
}

void TWMAEncodeProcess::ReportEnd(int32_t outcome, const QString& text)
{
    SendAppEvent(NotifyWindow.data(), MakeJobProgress(JobCode::WmaEnded, text, {}, outcome));
}
