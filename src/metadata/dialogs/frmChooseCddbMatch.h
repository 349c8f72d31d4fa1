#pragma once

#include <vector>

#include "metadata/dialogs/ChooseRowDialog.h"
#include "platform/cddb/CddbTypes.h"

class QTreeWidget;

/// Lets the user pick which of the server's matches is the disc in the drive: one row per
/// match (genre, disc id, artist / title), the first selected. The list keeps a few rows'
/// height and scrolls, however many matches there are.
class TfrmChooseCddbMatch : public TChooseRowDialog {
    Q_OBJECT
public:
    TfrmChooseCddbMatch(QWidget* parent, const std::vector<CddbMatch>& matches);

    QTreeWidget* const lvMatches;
};
