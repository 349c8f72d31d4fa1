#pragma once

#include <optional>

#include <QStringList>

struct TRipNaming;

/// What the user decides about output files that exist before a job starts.
enum class TOverwriteAnswer {
    Replace, ///< write over them
    Skip,    ///< leave them, and leave out the entries that would write them
    Cancel,  ///< run no job
};

/// The questions a job needs answered before it starts. The window asks them in message boxes;
/// another front end asks in its own way or answers from its options. Called on the UI thread,
/// before any worker runs.
class IJobQuestions {
public:
    virtual ~IJobQuestions() = default;
    /// Files the job would write exist already (full paths, in the job's order, each once).
    /// Asked at most once per job.
    virtual TOverwriteAnswer AskOverwrite(const QStringList& existing) = 0;
};

/// A rip never replaces a file it did not make without asking: when any of the entries'
/// files (RipJobFiles) exists, asks once. Returns the entries to rip (all of them, or, after
/// Skip, those none of whose files exists under the names the remaining job gives them), or
/// nothing when the user cancels. Links and special files are not offered for replacing: the
/// job refuses them at their track.
std::optional<QStringList> ConfirmRipOutputs(const QStringList& entries, const TRipNaming& naming,
                                             IJobQuestions& questions);
