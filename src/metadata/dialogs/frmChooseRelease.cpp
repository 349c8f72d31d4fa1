#include "metadata/dialogs/frmChooseRelease.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

TfrmChooseRelease::TfrmChooseRelease(QWidget* parent, const std::vector<TDiscCandidate>& releases,
                                     int preselected)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmChooseRelease"));
    setWindowTitle(QStringLiteral("MusicBrainz Releases"));
    setModal(true);

    lbHint = new QLabel(
        QStringLiteral("The disc belongs to several releases. Choose the one in the drive:"), this);
    lbHint->setObjectName(QStringLiteral("lbHint"));

    lvReleases = new QTreeWidget(this);
    lvReleases->setObjectName(QStringLiteral("lvReleases"));
    lvReleases->setAccessibleName(QStringLiteral("Releases"));
    lvReleases->setHeaderLabels({QStringLiteral("Title"), QStringLiteral("Artist"),
                                 QStringLiteral("Year"), QStringLiteral("Country"),
                                 QStringLiteral("Label"), QStringLiteral("Barcode")});
    lvReleases->setRootIsDecorated(false);
    lvReleases->setUniformRowHeights(true);
    lvReleases->setSelectionMode(QAbstractItemView::SingleSelection);
    // Item views draw their cells as plain text: a server's markup stays text.
    for (const TDiscCandidate& r : releases)
        new QTreeWidgetItem(lvReleases, {r.Title, r.Artist, r.Year, r.Country, r.Label, r.Barcode});
    int width = 2 * lvReleases->frameWidth() + lvReleases->verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < lvReleases->columnCount(); ++column) {
        lvReleases->resizeColumnToContents(column);
        width += lvReleases->columnWidth(column);
    }
    const int row =
        preselected >= 0 && preselected < lvReleases->topLevelItemCount() ? preselected : 0;
    if (lvReleases->topLevelItemCount() > 0)
        lvReleases->setCurrentItem(lvReleases->topLevelItem(row));

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
    layout->addWidget(lvReleases);
    layout->addLayout(buttons);

    connect(btOK, &QPushButton::clicked, this, [this] {
        if (Chosen() >= 0)
            accept();
    });
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lvReleases, &QTreeWidget::itemActivated, this, [this] { accept(); });
    connect(lvReleases, &QTreeWidget::currentItemChanged, this,
            [this] { btOK->setEnabled(Chosen() >= 0); });
    btOK->setEnabled(Chosen() >= 0);
    // Every column in sight where the screen allows; long titles scroll.
    resize(std::clamp(width + 24, 480, 900), 300);
}

int TfrmChooseRelease::Chosen() const
{
    QTreeWidgetItem* item = lvReleases->currentItem();
    return item == nullptr ? -1 : lvReleases->indexOfTopLevelItem(item);
}
