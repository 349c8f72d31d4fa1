#pragma once

#include <QString>

#include "audio/ACSStreamedOutput.h"

/// A sink that writes the file named by FileName, rewriting it or (where the writer supports
/// it) appending to it.
class TACSFileOut : public TACSStreamedOutput {
public:
    QString FileName() const { return fileName_; }
    void SetFileName(const QString& name);
    TFileOutputMode FileMode() const { return fileMode_; }
    /// This base stores foRewrite whatever the value; writers that can append store the value.
    virtual void SetFileMode(TFileOutputMode value);

protected:
    /// Opens the output: "File name is not assigned." for an empty name; "The output file
    /// "name" is the input file." when it is the file the input chain reads (under any path or
    /// link), before it is touched; an existing file is opened for reading and writing (other
    /// writers refused) unless FileMode is foRewrite, otherwise the file is created or
    /// truncated. Does nothing when a stream is assigned.
    void OpenOutputFile();
    /// Closes and frees the file unless a stream is assigned.
    void CloseOutputFile();
    /// CloseOutputFile with errors swallowed, for failure paths.
    void DiscardOutputFile() noexcept;
    /// Removes what this job wrote to FileName (the file it created), nothing when a stream
    /// was assigned; clears outputOpened_.
    virtual void DropOutputFile() noexcept;
    /// A job that failed while it was being prepared: the file closed and removed, the input
    /// flushed, every error swallowed (the caller rethrows the first).
    void AbandonPreparedOutput() noexcept;

    TFileOutputMode fileMode_ = foRewrite;
    bool outputOpened_ = false; ///< this job opened FileName (no stream assigned)

private:
    QString fileName_;
};
