#pragma once

#include <QString>
#include <QStringList>

/// What the job window shows; the job fills it and the window mirrors it into its controls.
struct TJobView {
    QString Caption; ///< the window's caption
    QString GroupCaption = QStringLiteral("Extracting");
    QString Label1; ///< time elapsed
    QString Label2; ///< time estimated
    QString Label3 = QStringLiteral("Initializing...");
    bool Label3Visible = true;
    int Bar = 0; ///< progress bar, 0..100
    bool BarTextVisible = false;
    /// The parallel job: the drive's line and one per running encoder ("Encoding 03 Title:
    /// 40%"); empty for the sequential job.
    QStringList Lines;
    QStringList Results; ///< a rip's tracks whose verification is known, one line each
};

/// verb + "(" + TwoDigits(k) + "/" + TwoDigits(n) + "): " + text
QString JobCaption(const QString& verb, int k, int n, const QString& text);
