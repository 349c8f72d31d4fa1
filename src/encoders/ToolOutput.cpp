#include "encoders/ToolOutput.h"

#include "core/TextUtil.h"

QStringList SplitToolOutput(const QByteArray& chunk)
{
    qsizetype end = chunk.indexOf('\0');
    if (end < 0)
        end = chunk.size();
    const QString text = QString::fromUtf8(chunk.constData(), end);

    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    auto take = [&](qsizetype stop) {
        const QString line = text.mid(start, stop - start);
        if (!TrimControl(line).isEmpty())
            lines.append(line);
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r')) {
            take(i);
            if (i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        } else if (c == QLatin1Char('\n')) {
            take(i);
            start = i + 1;
        }
    }
    if (start < n)
        take(n);
    return lines;
}
