#pragma once

#include <QDialog>

class QAction;
class QLineEdit;
class QPushButton;

/// Renames a track: the edit starts with the title, all of it selected; "&OK" is offered only
/// for a title that is not empty.
class TfrmEditTrackName : public QDialog {
    Q_OBJECT
public:
    TfrmEditTrackName(QWidget* parent, const QString& title);

    /// The edited title.
    QString Title() const;
    /// Whether a title may be accepted.
    static bool CanAccept(const QString& title) { return !title.isEmpty(); }

    QLineEdit* eName = nullptr;
    QAction* aOK = nullptr;
    QPushButton* btOK = nullptr;
    QPushButton* btCancel = nullptr;
};
