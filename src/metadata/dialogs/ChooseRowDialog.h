#pragma once

#include <vector>

#include <QDialog>
#include <QStringList>

class QLabel;
class QPushButton;
class QTreeWidget;

/// A modal list of candidates (one row each, drawn as plain text) with OK and Cancel, for the
/// choosers of a disc among several lookup answers. OK needs a selected row; a double click or
/// Enter on a row accepts it.
class TChooseRowDialog : public QDialog {
    Q_OBJECT
public:
    /// The chosen row's position in the rows given, -1 when none is selected.
    int Chosen() const;

    QLabel* lbHint = nullptr;
    QPushButton* btOK = nullptr;
    QPushButton* btCancel = nullptr;

protected:
    TChooseRowDialog(QWidget* parent, const QString& hint, const QString& listName,
                     const QStringList& headers, const std::vector<QStringList>& rows,
                     int selected);

    QTreeWidget* list_ = nullptr;
};
