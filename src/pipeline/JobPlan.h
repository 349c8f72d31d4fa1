#pragma once

#include <cstdint>
#include <vector>

#include <QString>

/// Job kinds: what a conversion job does with its list of strings.
enum JobKindValue : int {
    jkRipTracks = 1,
    jkWavToMp3 = 2,
    jkMp3ToWav = 3,
    jkRecordingToMp3 = 4,
    jkWavToOgg = 5,
    jkWavToWma = 6,
    jkWavToFlac = 7,
    jkWavToOpus = 8,
};

/// The kinds of step an entry of a job goes through. Each ends with its own end event.
enum class TStepType {
    Extract,  ///< a CD track into its WAV (1000)
    Resample, ///< a WAV below 44100 Hz into the temporary file, or nothing for one at 44100 Hz or
              ///< more (4000)
    Mp3,      ///< lame, encoding or decoding (2000)
    Wma,      ///< WM8EUTIL (5000)
    Vorbis,   ///< the Ogg Vorbis writer (3000)
    Encoder,  ///< an in-process encoder of the output format's row: FLAC, Opus (6000)
    /// an extracted WAV scaled by the normalisation gain, apart from its extraction (7000)
    Normalize,
};
inline constexpr int kStepTypeCount = 7;

/// Whether a step makes the entry's output file (rather than reading or preparing its input).
bool IsEncodeStep(TStepType type);

/// Where a step's output goes.
enum class TOutputPlace {
    RipEntry,     ///< the rip entry's encoded file (RipEntryFiles)
    OutputFolder, ///< the output folder, named after the entry
    BesideEntry,  ///< the entry itself with another extension (a recording's MP3)
};

/// What one kind of job does with each of its entries, in order. Adding a step or a kind
/// touches this table only (and a new step type its start and end in the job).
struct TJobPlan {
    std::vector<TStepType> Steps;
    TOutputPlace Place = TOutputPlace::OutputFolder;
    bool Decode = false; ///< the MP3 step decodes to WAV
    QString FirstGroup;  ///< the group caption of the first entry's encode step
    /// The Resample step resamples inputs slower than this (Hz); at 0 it only checks them.
    int ResampleBelow = 44100;
    int32_t Format = -1; ///< the output format (OutputFormats) the encode step makes
};

/// The plan of a job kind; a CD rip's depends on the output format (OutputFormats). An unknown
/// kind gets no steps; a rip to an unknown format only extracts. normalizeStep: a rip normalises
/// each track in a step of its own after the extraction, so the drive need not wait for it
/// (otherwise the extraction normalises, as the settings ask).
TJobPlan JobPlanOf(int jobKind, int outputFormat, bool normalizeStep = false);

/// Whether an input at sampleRate (of floating-point samples or not) reaches the plan's encoder
/// as it is: one below the plan's rate is resampled, and a float one for lame is rewritten as
/// 16-bit PCM (lame reads floats at the wrong level).
bool EncodedAsItIs(const TJobPlan& plan, int sampleRate, bool isFloat);

/// Empty, or why a decoding plan refuses input: lame --decode takes a file that is no MP3 for
/// raw PCM and "decodes" it into noise. A missing input is left to the step's own message.
QString DecodeInputRefusal(const TJobPlan& plan, const QString& input);

/// The extension of the file the plan's encode step writes (".mp3", ".wav" when decoding,
/// ".ogg", ".flac", ...); empty for a plan without one.
QString OutputExtensionOf(const TJobPlan& plan);

/// The end event (TProcessInfo::Percent) a step type reports.
int32_t EndCodeOf(TStepType type);
