#pragma once

#include <QDialog>

#include "recorder/RecordLogic.h"

class QComboBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

/// "New sound file": the sample rate, bits and channels of a new recording.
class TfrmNewRecordFile : public QDialog {
    Q_OBJECT
public:
    explicit TfrmNewRecordFile(QWidget* parent = nullptr);

    /// The selected rate entry (empty when none is selected; typed text does not count) and
    /// the checked buttons.
    TNewRecordChoice Choice() const;

    QGroupBox* GroupBox1 = nullptr;
    QComboBox* cbBitSamples = nullptr;
    QRadioButton* rbBitNumber = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QRadioButton* rbChannelNumber = nullptr;
    QRadioButton* RadioButton4 = nullptr;
    QPushButton* btOk = nullptr;
    QPushButton* btCancel = nullptr;
};
