#pragma once

#include "pipeline/JobQuestions.h"

/// The window's answers to a job's questions: message boxes of the message-box service.
class TJobQuestionBoxes : public IJobQuestions {
public:
    /// One box naming the files (the first few in its text, all of them with their folders in
    /// its details) with the buttons Replace, Skip and Cancel; Skip is the default, Escape
    /// cancels.
    TOverwriteAnswer AskOverwrite(const QStringList& existing) override;

    /// How many file names the box's text shows before "and n more".
    static constexpr int kNamesShown = 10;
};
