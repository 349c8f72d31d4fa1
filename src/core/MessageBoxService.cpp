#include "core/MessageBoxService.h"

#include <QStringList>

namespace {

class SilentMessageBoxService : public IMessageBoxService {
public:
    MbAnswer Show(const MessageBoxRequest& request) override { return request.DefaultButton; }
};

SilentMessageBoxService g_silent;
IMessageBoxService* g_messageBoxes = &g_silent;

MbAnswer ShowWithCaption(const QString& text, MbIcon icon, MbButtons buttons, MbAnswer def)
{
    MessageBoxRequest r;
    r.Text = text;
    r.Caption = ProductName();
    r.Icon = icon;
    r.Buttons = buttons;
    r.DefaultButton = def;
    return MessageBoxes().Show(r);
}

} // namespace

QString ProductName()
{
    return QStringLiteral("Platterly");
}

IMessageBoxService& MessageBoxes()
{
    return *g_messageBoxes;
}

IMessageBoxService* InstallMessageBoxService(IMessageBoxService* service)
{
    IMessageBoxService* previous = g_messageBoxes;
    g_messageBoxes = service != nullptr ? service : &g_silent;
    return previous;
}

void ShowError(const QString& text)
{
    ShowWithCaption(text, MbIcon::Error, MbButtons::Ok, MbAnswer::Ok);
}

void ShowInformation(const QString& text)
{
    ShowWithCaption(text, MbIcon::Information, MbButtons::Ok, MbAnswer::Ok);
}

void ShowPlain(const QString& text)
{
    ShowWithCaption(text, MbIcon::None, MbButtons::Ok, MbAnswer::Ok);
}

MbAnswer AskYesNo(const QString& text, MbIcon icon, MbAnswer defaultButton)
{
    return ShowWithCaption(text, icon, MbButtons::YesNo, defaultButton);
}

ScriptedMessageBoxService::ScriptedMessageBoxService() : previous_(InstallMessageBoxService(this))
{
}

ScriptedMessageBoxService::~ScriptedMessageBoxService()
{
    InstallMessageBoxService(previous_);
}

MbAnswer ScriptedMessageBoxService::Show(const MessageBoxRequest& request)
{
    shown_.push_back(request);
    if (planned_.empty())
        return request.DefaultButton;
    const MbAnswer a = planned_.front();
    planned_.pop_front();
    return a;
}

QStringList ScriptedMessageBoxService::Texts() const
{
    QStringList list;
    for (const auto& r : shown_)
        list << r.Text;
    return list;
}
