#include "metadata/dialogs/frmChooseRelease.h"

#include <algorithm>

#include <QScrollBar>
#include <QTreeWidget>

namespace {

std::vector<QStringList> RowsOf(const std::vector<TDiscCandidate>& releases)
{
    std::vector<QStringList> rows;
    for (const TDiscCandidate& r : releases)
        rows.push_back({r.Title, r.Artist, r.Year, r.Country, r.Label, r.Barcode});
    return rows;
}

} // namespace

TfrmChooseRelease::TfrmChooseRelease(QWidget* parent, const std::vector<TDiscCandidate>& releases,
                                     int preselected)
    : TChooseRowDialog(
          parent,
          QStringLiteral("The disc belongs to several releases. Choose the one in the drive:"),
          QStringLiteral("Releases"),
          {QStringLiteral("Title"), QStringLiteral("Artist"), QStringLiteral("Year"),
           QStringLiteral("Country"), QStringLiteral("Label"), QStringLiteral("Barcode")},
          RowsOf(releases), preselected),
      lvReleases(list_)
{
    setObjectName(QStringLiteral("frmChooseRelease"));
    setWindowTitle(QStringLiteral("MusicBrainz Releases"));
    lvReleases->setObjectName(QStringLiteral("lvReleases"));
    int width = 2 * lvReleases->frameWidth() + lvReleases->verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < lvReleases->columnCount(); ++column) {
        lvReleases->resizeColumnToContents(column);
        width += lvReleases->columnWidth(column);
    }
    // Every column in sight where the screen allows; long titles scroll.
    resize(std::clamp(width + 24, 480, 900), 300);
}
