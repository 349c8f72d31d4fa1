#pragma once

#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include <QString>

enum class MbIcon { None, Information, Warning, Error, Question };
enum class MbButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MbAnswer { Ok, Cancel, Yes, No };

struct MessageBoxRequest {
    QString Text;
    QString Caption;
    MbIcon Icon = MbIcon::None;
    MbButtons Buttons = MbButtons::Ok;
    MbAnswer DefaultButton = MbAnswer::Ok;
    /// Text behind the box's "Show Details..." button; none when empty.
    QString Detail;
    /// Own captions for some of the buttons, each named by the answer it gives.
    std::vector<std::pair<MbAnswer, QString>> ButtonTexts;
};

/// Every message box of the program goes through this service (production: QMessageBox;
/// tests: ScriptedMessageBoxService).
class IMessageBoxService {
public:
    virtual ~IMessageBoxService() = default;
    virtual MbAnswer Show(const MessageBoxRequest& request) = 0;
};

/// The product name every message box carries as its caption.
QString ProductName();

/// The installed service; never null (a silent answerer stands in until one is installed).
IMessageBoxService& MessageBoxes();
/// Installs a service and returns the previous one (so tests can restore it).
IMessageBoxService* InstallMessageBoxService(IMessageBoxService* service);

/// Shorthands with the product name as caption.
void ShowError(const QString& text);
void ShowInformation(const QString& text);
void ShowPlain(const QString& text);
MbAnswer AskYesNo(const QString& text, MbIcon icon = MbIcon::Information,
                  MbAnswer defaultButton = MbAnswer::Yes);

/// Test double: records every box and answers from a queue of planned answers; when the queue
/// is empty it answers with the box's default button. Installs itself for its lifetime.
class ScriptedMessageBoxService : public IMessageBoxService {
public:
    ScriptedMessageBoxService();
    ~ScriptedMessageBoxService() override;
    ScriptedMessageBoxService(const ScriptedMessageBoxService&) = delete;
    ScriptedMessageBoxService& operator=(const ScriptedMessageBoxService&) = delete;

    MbAnswer Show(const MessageBoxRequest& request) override;

    void PlanAnswer(MbAnswer answer) { planned_.push_back(answer); }
    const std::vector<MessageBoxRequest>& Shown() const { return shown_; }
    QStringList Texts() const;
    void Clear() { shown_.clear(); }

private:
    IMessageBoxService* previous_;
    std::deque<MbAnswer> planned_;
    std::vector<MessageBoxRequest> shown_;
};
