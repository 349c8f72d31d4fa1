#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

/// Shown when the main window holds no drive: why no CD drive could be opened, with links to
/// the manual's sections on each cause.
class TfrmNoDeviceHint : public QDialog {
    Q_OBJECT
public:
    explicit TfrmNoDeviceHint(QWidget* parent = nullptr);

    QLabel* lbHeader = nullptr;
    QLabel* lbCause1 = nullptr;
    QLabel* lbCause2 = nullptr;
    QLabel* lbCause3 = nullptr;
    QPushButton* btClose = nullptr;

private:
    /// A link's target is the manual section it names.
    void LinkActivated(const QString& section);
};
