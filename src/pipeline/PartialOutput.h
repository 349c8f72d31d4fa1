#pragma once

#include <QString>

/// A step's output while it is written: a new hidden file with a unique name beside the final
/// one. Commit renames it into place once the step has succeeded; otherwise it is removed. So a
/// stopped, failed or killed encode never leaves part of a file under the final name, and a
/// file already there stays whole until the new one is. UI thread only.
class TPartialOutput {
public:
    TPartialOutput() = default;
    ~TPartialOutput() { Discard(); }
    TPartialOutput(const TPartialOutput&) = delete;
    TPartialOutput& operator=(const TPartialOutput&) = delete;

    /// Creates the file for finalPath (discarding an earlier one). False, with errno set, when
    /// the folder refuses it.
    bool Create(const QString& finalPath);
    /// The file being written; empty when none.
    const QString& Path() const { return path_; }
    const QString& FinalPath() const { return final_; }
    /// Renames the file over the final name. False, with errno set, when that fails; the file
    /// is then removed.
    bool Commit();
    /// Removes the file, if any.
    void Discard();

private:
    void CloseFolder();

    QString path_;
    QString final_;
    /// The folder the file was made in, held open so the file can still be removed after the
    /// folder was renamed mid-job.
    int folder_ = -1;
};
