#pragma once

#include <cstdint>
#include <memory>

#include <QString>

/// What a step's end record carries beyond its code; the step that posts it defines the type
/// (the extraction's is TExtractResult), and the job reads it with dynamic_cast.
struct TStepResult {
    virtual ~TStepResult() = default;
};

/// Report record a worker hands to the job window. Percent is 0..100 progress or an event code.
struct TProcessInfo {
    int32_t Percent = 0;
    QString ElapsedText;
    QString TotalText;
    int32_t ErrorCode = 0;
    std::shared_ptr<const TStepResult> Result; ///< null but on some end records
};

/// Event codes carried in TProcessInfo::Percent.
namespace JobCode {
inline constexpr int32_t NormalizeStarts = 999;
inline constexpr int32_t ExtractEnded = 1000;
inline constexpr int32_t Mp3Ended = 2000;
inline constexpr int32_t OggEnded = 3000;
inline constexpr int32_t ResampleEnded = 4000;
inline constexpr int32_t WmaEnded = 5000;
inline constexpr int32_t EncoderEnded = 6000; ///< an in-process encoder (FLAC, Opus) has ended
/// a normaliser run apart from its extraction has ended (ErrorCode: ExtractOutcome)
inline constexpr int32_t NormalizeEnded = 7000;
} // namespace JobCode

/// ErrorCode of an ExtractEnded report.
namespace ExtractOutcome {
inline constexpr int32_t Success = 0;
inline constexpr int32_t ReadError = 3;
inline constexpr int32_t NotCreated = 5; ///< the WAV could not be created (no valid name)
inline constexpr int32_t WriteError = 6; ///< writing the WAV failed; ElapsedText holds the message
inline constexpr int32_t NotRegular = 7; ///< a link or special file is where the WAV goes
inline constexpr int32_t InUse = 8;      ///< the file there is locked by another or read-only
} // namespace ExtractOutcome

/// ErrorCode of an encode step's end report (Mp3Ended, WmaEnded, OggEnded, EncoderEnded).
namespace StepOutcome {
inline constexpr int32_t Declined = 0; ///< the user kept the existing output (WMA: or no tool)
inline constexpr int32_t OutputInUse = 1;
inline constexpr int32_t ToolExited = 2; ///< the tool ended by itself and left its output
inline constexpr int32_t Skipped = 4;    ///< set by the job: the step had nothing to work on
inline constexpr int32_t ErrorLine = 8;  ///< the tool printed an error line (in ElapsedText)
inline constexpr int32_t ToolFailed =
    9; ///< failed exit, a signal or no output; ElapsedText says why
} // namespace StepOutcome

/// Codes of WM_RIPFAILED.
namespace RipFailure {
inline constexpr int AddressMode = 1; ///< the drive refused the TOC address form
inline constexpr int TocUnreadable = 2;
} // namespace RipFailure
