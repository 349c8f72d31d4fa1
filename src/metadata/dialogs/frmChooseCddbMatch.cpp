#include "metadata/dialogs/frmChooseCddbMatch.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kVisibleRows = 6;

} // namespace

TfrmChooseCddbMatch::TfrmChooseCddbMatch(QWidget* parent, const std::vector<CddbMatch>& matches)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmChooseCddbMatch"));
    setWindowTitle(QStringLiteral("CDDB Matches"));
    setModal(true);

    lbHint = new QLabel(QStringLiteral("Several discs match. Choose the one in the drive:"), this);
    lbHint->setObjectName(QStringLiteral("lbHint"));

    lvMatches = new QTreeWidget(this);
    lvMatches->setObjectName(QStringLiteral("lvMatches"));
    lvMatches->setAccessibleName(QStringLiteral("Matches"));
    lvMatches->setColumnCount(3);
    lvMatches->setHeaderLabels(
        {QStringLiteral("Genre"), QStringLiteral("Disc ID"), QStringLiteral("Artist / Title")});
    lvMatches->setRootIsDecorated(false);
    lvMatches->setUniformRowHeights(true);
    lvMatches->setSelectionMode(QAbstractItemView::SingleSelection);
    lvMatches->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Item views draw their cells as plain text: a server's markup stays text.
    for (const CddbMatch& m : matches)
        new QTreeWidgetItem(lvMatches, {m.Category, m.DiscId, m.Title});
    lvMatches->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    lvMatches->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    lvMatches->header()->setStretchLastSection(true);
    const int row = lvMatches->fontMetrics().height() + 6;
    lvMatches->setFixedHeight(lvMatches->header()->sizeHint().height() + kVisibleRows * row +
                              2 * lvMatches->frameWidth());
    if (lvMatches->topLevelItemCount() > 0)
        lvMatches->setCurrentItem(lvMatches->topLevelItem(0));

    btOK = new QPushButton(QStringLiteral("&OK"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setDefault(true);
    btCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbHint);
    layout->addWidget(lvMatches);
    layout->addLayout(buttons);

    connect(btOK, &QPushButton::clicked, this, [this] {
        if (Chosen() >= 0)
            accept();
    });
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lvMatches, &QTreeWidget::itemActivated, this, [this] { accept(); });
    connect(lvMatches, &QTreeWidget::currentItemChanged, this,
            [this] { btOK->setEnabled(Chosen() >= 0); });
    btOK->setEnabled(Chosen() >= 0);
    resize(560, sizeHint().height());
}

int TfrmChooseCddbMatch::Chosen() const
{
    QTreeWidgetItem* item = lvMatches->currentItem();
    return item == nullptr ? -1 : lvMatches->indexOfTopLevelItem(item);
}
