#include "metadata/dialogs/frmChooseCddbMatch.h"

#include <QHeaderView>
#include <QTreeWidget>

namespace {

constexpr int kVisibleRows = 6;

std::vector<QStringList> RowsOf(const std::vector<CddbMatch>& matches)
{
    std::vector<QStringList> rows;
    for (const CddbMatch& m : matches)
        rows.push_back({m.Category, m.DiscId, m.Title});
    return rows;
}

} // namespace

TfrmChooseCddbMatch::TfrmChooseCddbMatch(QWidget* parent, const std::vector<CddbMatch>& matches)
    : TChooseRowDialog(
          parent, QStringLiteral("Several discs match. Choose the one in the drive:"),
          QStringLiteral("Matches"),
          {QStringLiteral("Genre"), QStringLiteral("Disc ID"), QStringLiteral("Artist / Title")},
          RowsOf(matches), 0),
      lvMatches(list_)
{
    setObjectName(QStringLiteral("frmChooseCddbMatch"));
    setWindowTitle(QStringLiteral("CDDB Matches"));
    lvMatches->setObjectName(QStringLiteral("lvMatches"));
    lvMatches->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    lvMatches->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    lvMatches->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    lvMatches->header()->setStretchLastSection(true);
    const int row = lvMatches->fontMetrics().height() + 6;
    lvMatches->setFixedHeight(lvMatches->header()->sizeHint().height() + kVisibleRows * row +
                              2 * lvMatches->frameWidth());
    resize(560, sizeHint().height());
}
