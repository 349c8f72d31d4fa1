#include "metadata/dialogs/ChooseRowDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

TChooseRowDialog::TChooseRowDialog(QWidget* parent, const QString& hint, const QString& listName,
                                   const QStringList& headers, const std::vector<QStringList>& rows,
                                   int selected)
    : QDialog(parent)
{
    setModal(true);
    lbHint = new QLabel(hint, this);
    lbHint->setObjectName(QStringLiteral("lbHint"));

    list_ = new QTreeWidget(this);
    list_->setAccessibleName(listName);
    list_->setColumnCount(static_cast<int>(headers.size()));
    list_->setHeaderLabels(headers);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    // Item views draw their cells as plain text: a server's markup stays text.
    for (const QStringList& row : rows)
        new QTreeWidgetItem(list_, row);
    if (list_->topLevelItemCount() > 0)
        list_->setCurrentItem(list_->topLevelItem(
            selected >= 0 && selected < list_->topLevelItemCount() ? selected : 0));

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
    layout->addWidget(list_);
    layout->addLayout(buttons);

    connect(btOK, &QPushButton::clicked, this, [this] {
        if (Chosen() >= 0)
            accept();
    });
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(list_, &QTreeWidget::itemActivated, this, [this] { accept(); });
    connect(list_, &QTreeWidget::currentItemChanged, this,
            [this] { btOK->setEnabled(Chosen() >= 0); });
    btOK->setEnabled(Chosen() >= 0);
}

int TChooseRowDialog::Chosen() const
{
    QTreeWidgetItem* item = list_->currentItem();
    return item == nullptr ? -1 : list_->indexOfTopLevelItem(item);
}
