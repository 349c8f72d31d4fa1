#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QString>

#include "metadata/TagWriter.h"
#include "pipeline/JobPlan.h"

class TACSFileOut;
struct TOptionsSetting;

/// One output format: what a rip to it writes and which step encodes it, and which File-menu
/// conversion makes it from picked WAV files. The job's plan, a rip's file names, the clean-up,
/// the tag step and the options dialog's format list all read this table; a new format is one
/// row, its encoder and its options page. (Every member has an initializer, so a row names only
/// what it needs.)
struct TOutputFormat {
    int32_t Number = 0;  ///< OutputFormat in options.ini: the options dialog's list position
    QString Name{};      ///< "FLAC"
    QString Extension{}; ///< of the file a rip keeps (".wav" for WAV, which is not encoded)
    std::optional<TStepType> Encode{}; ///< the step after extraction; none for WAV
    TTagKind Tag = TTagKind::None;     ///< what the tag step writes into a ripped file
    QString OptionsPage{}; ///< the options dialog's page with its settings; empty for none
    int ConvertKind = 0;   ///< job kind of the conversion of picked WAV files; 0 for none
    QString ConvertMenu{}; ///< the File-menu command of that conversion, when the table makes it
    /// Before encoding, a conversion resamples inputs slower than this many Hz; 0 only checks
    /// that the input can be read; -1 hands the input to the encoder as it is.
    int ResampleBelow = -1;
    /// The in-process encoder of an Encoder step, set up from the settings record.
    std::function<std::unique_ptr<TACSFileOut>(const TOptionsSetting&)> MakeEncoder{};

    /// The options dialog's list entry: "FLAC file(*.FLAC)".
    QString Item() const;
    /// The group caption of a conversion's first file: "Encoding WAV to FLAC".
    QString ConvertGroup() const;
};

/// Every format, in OutputFormat order.
const std::vector<TOutputFormat>& OutputFormats();
/// The format stored as number; null for a number no format has.
const TOutputFormat* OutputFormatOf(int32_t number);
/// The format a conversion job kind makes; null for the other kinds.
const TOutputFormat* ConversionFormatOf(int jobKind);
