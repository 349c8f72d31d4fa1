#include "pipeline/RipFiles.h"

#include "core/FileUtil.h"
#include "core/Settings.h"
#include "core/TextUtil.h"
#include "pipeline/JobPlan.h"

QStringList TRipEntryFiles::All() const
{
    QStringList files{Wav};
    if (!Encoded.isEmpty())
        files << Encoded;
    return files;
}

TRipEntryFiles RipEntryFiles(const QString& entry, const TCommonOptions& options)
{
    TRipEntryFiles files;
    int32_t track = 0;
    files.Track = ParseDecimal(entry.left(2), track) ? track : 0;
    files.Title = entry.mid(2);
    // A title is a file name as it stands; one that cannot be (a "/", "..", too long) fails
    // its track rather than writing anywhere but the output folder.
    const QString name = files.Title + QStringLiteral(".wav");
    files.NameValid =
        !options.OutputFolder.isEmpty() && IsValidFileName(files.Title) && IsValidFileName(name);
    files.Wav = IncludeTrailingSlash(options.OutputFolder) + name;
    const TJobPlan plan = JobPlanOf(jkRipTracks, options.OutputFormat);
    if (plan.Steps.size() > 1)
        files.Encoded = ChangeFileExt(files.Wav, OutputExtensionOf(plan.Steps.back(), false));
    return files;
}

std::vector<TRipEntryFiles> RipJobFiles(const QStringList& entries, const TCommonOptions& options)
{
    std::vector<TRipEntryFiles> files;
    files.reserve(static_cast<size_t>(entries.size()));
    for (const QString& entry : entries)
        files.push_back(RipEntryFiles(entry, options));
    return files;
}
