#include "encoders/WmaOutput.h"

TWmaLine ClassifyWmaLine(const QString& line)
{
    if (line.contains(QLatin1String("ERROR"), Qt::CaseSensitive))
        return TWmaLine::Error;
    if (line.contains(QLatin1String("100%")))
        return TWmaLine::Done;
    return TWmaLine::Other;
}
