#include "pipeline/JobQuestions.h"

#include "core/FileUtil.h"
#include "pipeline/RipFiles.h"

std::optional<QStringList> ConfirmRipOutputs(const QStringList& entries,
                                             const TCommonOptions& options,
                                             IJobQuestions& questions)
{
    QStringList existing;
    std::vector<bool> writesExisting(static_cast<size_t>(entries.size()), false);
    const std::vector<TRipEntryFiles> files = RipJobFiles(entries, options);
    for (size_t k = 0; k < files.size(); ++k) {
        // A title that names no file writes nothing, whatever lies at its would-be path.
        if (!files[k].NameValid)
            continue;
        for (const QString& path : files[k].All()) {
            if (!FileExists(path) || IsLinkOrSpecialFile(path))
                continue;
            writesExisting[k] = true;
            if (!existing.contains(path))
                existing << path;
        }
    }
    if (existing.isEmpty())
        return entries;
    switch (questions.AskOverwrite(existing)) {
    case TOverwriteAnswer::Replace:
        return entries;
    case TOverwriteAnswer::Skip: {
        QStringList kept;
        for (qsizetype k = 0; k < entries.size(); ++k) {
            if (!writesExisting[static_cast<size_t>(k)])
                kept << entries[k];
        }
        return kept;
    }
    case TOverwriteAnswer::Cancel:
        break;
    }
    return std::nullopt;
}
