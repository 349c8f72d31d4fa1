#include "pipeline/JobQuestions.h"

#include "core/FileUtil.h"
#include "pipeline/RipFiles.h"

namespace {

/// Per entry, whether one of its files exists (and may be replaced); the existing files in
/// the job's order, each once, are added to existing.
std::vector<bool> WritesExisting(const QStringList& entries, const TRipNaming& naming,
                                 QStringList* existing)
{
    std::vector<bool> writes(static_cast<size_t>(entries.size()), false);
    const std::vector<TRipEntryFiles> files = RipJobFiles(entries, naming);
    for (size_t k = 0; k < files.size(); ++k) {
        // A title that names no file writes nothing, whatever lies at its would-be path.
        if (!files[k].NameValid)
            continue;
        for (const QString& path : files[k].All()) {
            if (!FileExists(path) || IsLinkOrSpecialFile(path))
                continue;
            writes[k] = true;
            if (existing != nullptr && !existing->contains(path))
                *existing << path;
        }
    }
    return writes;
}

} // namespace

std::optional<QStringList> ConfirmRipOutputs(const QStringList& entries, const TRipNaming& naming,
                                             IJobQuestions& questions)
{
    QStringList existing;
    std::vector<bool> writes = WritesExisting(entries, naming, &existing);
    if (existing.isEmpty())
        return entries;
    switch (questions.AskOverwrite(existing)) {
    case TOverwriteAnswer::Replace:
        return entries;
    case TOverwriteAnswer::Skip: {
        // Leaving an entry out can give a later one with the same name the first one's name
        // (" (2)" no longer needed), and so an existing file: leave such entries out too,
        // until the names the job will use touch no existing file.
        QStringList kept = entries;
        for (;;) {
            QStringList next;
            for (qsizetype k = 0; k < kept.size(); ++k) {
                if (!writes[static_cast<size_t>(k)])
                    next << kept[k];
            }
            if (next.size() == kept.size())
                return kept;
            kept = next;
            writes = WritesExisting(kept, naming, nullptr);
        }
    }
    case TOverwriteAnswer::Cancel:
        break;
    }
    return std::nullopt;
}
