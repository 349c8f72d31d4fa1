#pragma once

#include "core/Settings.h"
#include "encoders/EncodeProcess.h"

/// Runs the lame program: encodes InputFile (WAV) to OutputFile (MP3) with Settings, or decodes an
/// MP3 to WAV when Encode is false. Progress is posted; the end event (Percent 2000, ErrorCode the
/// outcome) is posted too.
///
/// lame is taken from the program's folder when it is there, else found on PATH. Lines that
/// echo the input or output path are not parsed, so a "%" or "#" in a file name cannot be
/// taken for the progress column.
class TMp3EncodeProcess : public TEncodeProcess {
    Q_OBJECT
public:
    using TEncodeProcess::TEncodeProcess;

    /// The MP3 settings of the next Start, handed in by the caller (the settings' defaults
    /// until then): 128 kbit/s joint stereo.
    TMp3Options Settings{false, false, 128, 320, 0, 4, 1};

    /// The lame executable to run: the program folder's copy, else "lame" (searched on PATH).
    static QString LameProgram();

protected:
    QString FindProgram() const override;
    TToolCommand BuildCommand(const QString& program) override;
    bool SkipsOverwriteQuestion() const override;
    void ParseOutput(const QByteArray& chunk) override;
    void ReportEnd(int32_t outcome, const QString& text) override;
    qint64 MinimumOutputBytes() const override;
    QString IncompleteOutput() const override;

private:
    bool EchoesFileName(const QString& line) const;
};
