#pragma once

#include <cstdint>
#include <functional>

#include <QDialog>

#include "metadata/CddbRecord.h"
#include "metadata/QueryCDDBLogic.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

/// "Query CDDB": edits the server settings and starts the lookup in the wait window. Closes
/// itself when the wait window closes with a result.
class TfrmQueryCDDB : public QDialog {
    Q_OBJECT
public:
    TfrmQueryCDDB(QWidget* parent, uint8_t firstTrack, uint8_t lastTrack, int handle);

    /// Applies a lookup's result to the track list and the disc information (UI thread).
    std::function<void(const TDiscNames&)> ApplyResult;
    /// Shows why a lookup found no names (UI thread).
    std::function<void(const QString&)> ReportFailure;

    QLabel* Image1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QComboBox* cbServer = nullptr;
    QLineEdit* eScript = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QCheckBox* cbProxy = nullptr;
    QLineEdit* eAddress = nullptr;
    QLineEdit* ePort = nullptr;
    QPushButton* btDefault = nullptr;
    QPushButton* btQuery = nullptr;
    QPushButton* btClose = nullptr;

    void FormShow();
    void btDefaultClick();
    void btQueryClick();
    void cbProxyClick();

    /// The fields as the widgets hold them.
    TQueryCDDBFields Fields() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ShowFields(const TQueryCDDBFields& f);

    const uint8_t first_;
    const uint8_t last_;
    const int handle_;
};
