#pragma once

#include <vector>

#include "metadata/DiscLookup.h"
#include "metadata/dialogs/ChooseRowDialog.h"

class QTreeWidget;

/// Lets the user pick which of the releases a disc id belongs to is the disc in the drive:
/// one row per release (title, artist, year, country, label, barcode), the one chosen before
/// selected, else the first.
class TfrmChooseRelease : public TChooseRowDialog {
    Q_OBJECT
public:
    TfrmChooseRelease(QWidget* parent, const std::vector<TDiscCandidate>& releases,
                      int preselected);

    QTreeWidget* const lvReleases;
};
