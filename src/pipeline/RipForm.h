#pragma once

#include <QDialog>
#include <QStringList>

#include "pipeline/RipJob.h"

class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

/// The modal progress window of a conversion job: caption, group box, progress bar with the
/// "Initializing..." text over it, elapsed and estimated time, and Stop. It mirrors the view of
/// the TRipJob it owns; the job decides everything.
class TRipForm : public QDialog {
    Q_OBJECT
public:
    /// Creates the job (its first step starts here) and centres the window over owner.
    /// Raises when the first step cannot be set up.
    TRipForm(QWidget* owner, int jobKind, int cdHandle, const QStringList& list,
             TJobRunners runners = {}, const QByteArray& cover = {});
    ~TRipForm() override;

    TRipJob& Job() { return job_; }

    void btStopClick();

    QGroupBox* GroupBox1 = nullptr;
    QProgressBar* FlatGauge1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label20 = nullptr;
    /// The parallel job's running steps, one a line; absent for the sequential job.
    QLabel* LinesLabel = nullptr;
    QPushButton* btStop = nullptr;
    /// Beyond the design: each ripped track's checksum and AccurateRip result, as known.
    QListWidget* lvResults = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void FormClose();
    void ShowView();

    TRipJob job_;
};
