#pragma once

class QAction;
class QPushButton;

/// Makes the button carry out the action and follow its enabled state.
void BindButtonToAction(QPushButton* button, QAction* action);
