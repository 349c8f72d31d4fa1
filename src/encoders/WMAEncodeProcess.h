#pragma once

#include "encoders/EncodeProcess.h"

/// Runs the WM8EUTIL tool: encodes InputFile (WAV) to OutputFile (WMA) with Profile, passing
/// Author and Description when they are not empty. Only "100%" lines give a progress report
/// (posted). End events (Percent 5000) are sent: the window handles them before the reporting call
/// returns, which may be inside Start (outcomes 0 and 1) or inside the parsing of the tool's output
/// (outcome 8, ElapsedText the tool's error line). After outcome 8 the rest of that run is
/// neither parsed nor reported; the next Start or Stop ends the tool if it still runs.
class TWMAEncodeProcess : public TEncodeProcess {
    Q_OBJECT
public:
    using TEncodeProcess::TEncodeProcess;

    // Handed in by the caller before each Start.
    int32_t Profile = 8; ///< one of the 33 profiles; an invalid one encodes with the default
    QString Author;      ///< the disc's artist when tags are on, else empty
    QString Description; ///< the disc's comment when tags are on, else empty

    /// The tool's path: the program folder, then its "system32" and "system" subfolders; empty
    /// when it is in none of them.
    static QString FindTool();
    /// Where to write for help, shown when the tool is missing.
    static QString SupportAddress();

protected:
    QString FindProgram() const override;
    void ToolMissing() override;
    TToolCommand BuildCommand(const QString& program) override;
    bool SkipsOverwriteQuestion() const override;
    void ParseOutput(const QByteArray& chunk) override;
    void ReportEnd(int32_t outcome, const QString& text) override;
};
