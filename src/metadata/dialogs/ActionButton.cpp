#include "metadata/dialogs/ActionButton.h"

#include <QAction>
#include <QPushButton>

void BindButtonToAction(QPushButton* button, QAction* action)
{
    button->setEnabled(action->isEnabled());
    QObject::connect(button, &QPushButton::clicked, action, &QAction::trigger);
    QObject::connect(action, &QAction::enabledChanged, button, &QPushButton::setEnabled);
}
