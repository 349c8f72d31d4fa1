#pragma once

#include <QString>

/// What a line of the WMA tool's output means to the runner.
enum class TWmaLine {
    Error, ///< contains "ERROR" (upper case, anywhere)
    Done,  ///< contains "100%"
    Other, ///< ignored; intermediate percentages are not reported
};

TWmaLine ClassifyWmaLine(const QString& line);
