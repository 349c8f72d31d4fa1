#include "core/TextUtil.h"

#include <cmath>

QString TwoDigits(int64_t n)
{
    QString s = QString::number(n);
    if (n <= 9)
        s.prepend(QLatin1Char('0'));
    return s;
}

QString Mmss(int64_t seconds)
{
    return TwoDigits(seconds / 60) + QLatin1Char(':') + TwoDigits(seconds % 60);
}

int64_t RoundHalfEven(double value)
{
    // nearbyint follows the current rounding mode, which is round-to-nearest-even by default.
    return static_cast<int64_t>(std::nearbyint(value));
}

int64_t ElapsedSeconds(std::chrono::steady_clock::time_point start)
{
    const std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
    return RoundHalfEven(d.count());
}

QString TrimControl(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first).unicode() <= 0x20)
        ++first;
    while (last > first && text.at(last - 1).unicode() <= 0x20)
        --last;
    return text.mid(first, last - first);
}

bool ParseDecimal(const QString& text, int32_t& value)
{
    bool ok = false;
    const int v = TrimControl(text).toInt(&ok, 10);
    if (ok)
        value = v;
    return ok;
}
