#pragma once

#include <vector>

#include <QDialog>

#include "platform/cddb/CddbTypes.h"

class QLabel;
class QPushButton;
class QTreeWidget;

/// Lets the user pick which of the server's matches is the disc in the drive: one row per
/// match (genre, disc id, artist / title), the first selected. The list keeps a few rows'
/// height and scrolls, however many matches there are.
class TfrmChooseCddbMatch : public QDialog {
    Q_OBJECT
public:
    TfrmChooseCddbMatch(QWidget* parent, const std::vector<CddbMatch>& matches);

    /// The chosen match's position in the list given, -1 when none is selected.
    int Chosen() const;

    QLabel* lbHint = nullptr;
    QTreeWidget* lvMatches = nullptr;
    QPushButton* btOK = nullptr;
    QPushButton* btCancel = nullptr;
};
