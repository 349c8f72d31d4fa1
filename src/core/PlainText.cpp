#include "core/PlainText.h"

#include <QLabel>
#include <QMessageBox>

QLabel* MakePlainText(QLabel* label)
{
    label->setTextFormat(Qt::PlainText);
    return label;
}

void MakePlainText(QMessageBox& box)
{
    box.setTextFormat(Qt::PlainText);
}
