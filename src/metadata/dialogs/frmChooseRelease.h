#pragma once

#include <vector>

#include <QDialog>

#include "metadata/DiscLookup.h"

class QLabel;
class QPushButton;
class QTreeWidget;

/// Lets the user pick which of the releases a disc id belongs to is the disc in the drive:
/// one row per release (title, artist, year, country, label, barcode), the one chosen before
/// selected, else the first.
class TfrmChooseRelease : public QDialog {
    Q_OBJECT
public:
    TfrmChooseRelease(QWidget* parent, const std::vector<TDiscCandidate>& releases,
                      int preselected);

    /// The chosen release's position in the list given, -1 when none is selected.
    int Chosen() const;

    QLabel* lbHint = nullptr;
    QTreeWidget* lvReleases = nullptr;
    QPushButton* btOK = nullptr;
    QPushButton* btCancel = nullptr;
};
