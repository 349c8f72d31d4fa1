#pragma once

#include <QFrame>

#include "core/ResultNotice.h"

class QLabel;
class QPushButton;
class QToolButton;

/// The strip above the main window's status bar that tells how the last job went: a line of
/// plain text with an icon for its severity, a link to one file (a rip's log), "Open Folder"
/// and a close button. Not modal; the next job's notice replaces it. Hidden until the first.
class TResultBar : public QFrame {
    Q_OBJECT
public:
    explicit TResultBar(QWidget* parent = nullptr);

    void ShowNotice(const TResultNotice& notice);
    /// The close button, and the start of the next job.
    void Dismiss();
    const TResultNotice& Notice() const { return notice_; }

    QLabel* lbIcon = nullptr;
    QLabel* lbSummary = nullptr;
    QToolButton* btFile = nullptr;
    QPushButton* btOpenFolder = nullptr;
    QToolButton* btClose = nullptr;

private:
    void Open(const QString& path);

    TResultNotice notice_;
};
