#pragma once

#include <deque>
#include <vector>

#include <QString>
#include <QStringList>

enum class FileDialogKind { OpenFiles, OpenFile, SaveFile, Folder };

struct FileDialogRequest {
    FileDialogKind Kind = FileDialogKind::OpenFiles;
    QString Title;
    QString Directory;
    /// Windows-style filter "Name(*.ext)|*.ext|Other|*.*"; converted for the real dialog.
    QString Filter;
    QString FileName;
    /// Added to a typed name that has no extension ("wav"; empty: nothing is added).
    QString DefaultSuffix;
    /// The caller asks its own overwrite question, so the picker asks none.
    bool CallerConfirmsOverwrite = false;
};

/// Every open, save and folder picker goes through this service.
class IFileDialogService {
public:
    virtual ~IFileDialogService() = default;
    /// The picked paths in the order the dialog returns them; empty when cancelled.
    virtual QStringList Pick(const FileDialogRequest& request) = 0;
};

IFileDialogService& FileDialogs();
IFileDialogService* InstallFileDialogService(IFileDialogService* service);

/// Turns "Sound file(*.wav)|*.wav| Any file(*.*)|*.*" into Qt's ";;"-separated form.
QString QtFilterFromWindows(const QString& filter);

/// Test double: answers from a queue (an empty answer = cancelled) and records the requests.
class ScriptedFileDialogService : public IFileDialogService {
public:
    ScriptedFileDialogService();
    ~ScriptedFileDialogService() override;
    ScriptedFileDialogService(const ScriptedFileDialogService&) = delete;
    ScriptedFileDialogService& operator=(const ScriptedFileDialogService&) = delete;

    QStringList Pick(const FileDialogRequest& request) override;
    void PlanAnswer(const QStringList& paths) { planned_.push_back(paths); }
    const std::vector<FileDialogRequest>& Requests() const { return requests_; }

private:
    IFileDialogService* previous_;
    std::deque<QStringList> planned_;
    std::vector<FileDialogRequest> requests_;
};
