#include "app/JobQuestionBoxes.h"

#include "core/FileUtil.h"
#include "core/MessageBoxService.h"

TOverwriteAnswer TJobQuestionBoxes::AskOverwrite(const QStringList& existing)
{
    QStringList names;
    for (const QString& path : existing.mid(0, kNamesShown))
        names << ExtractFileName(path);
    if (existing.size() > kNamesShown)
        names << QStringLiteral("... and %1 more").arg(existing.size() - kNamesShown);
    MessageBoxRequest r;
    r.Caption = ProductName();
    r.Icon = MbIcon::Warning;
    r.Text = QStringLiteral("These files exist already; the rip would replace them:\n\n") +
             names.join(QLatin1Char('\n')) +
             QStringLiteral("\n\nReplace them, skip those tracks, or cancel the rip?");
    r.Detail = existing.join(QLatin1Char('\n'));
    r.Buttons = MbButtons::YesNoCancel;
    r.ButtonTexts = {{MbAnswer::Yes, QStringLiteral("&Replace")},
                     {MbAnswer::No, QStringLiteral("&Skip")},
                     {MbAnswer::Cancel, QStringLiteral("Cancel")}};
    r.DefaultButton = MbAnswer::No;
    switch (MessageBoxes().Show(r)) {
    case MbAnswer::Yes:
        return TOverwriteAnswer::Replace;
    case MbAnswer::No:
        return TOverwriteAnswer::Skip;
    case MbAnswer::Ok:
    case MbAnswer::Cancel:
        break;
    }
    return TOverwriteAnswer::Cancel;
}
