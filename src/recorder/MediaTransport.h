#pragma once

#include <array>

#include <QWidget>

#include "recorder/RecordLogic.h"

class QToolButton;

/// The transport strip: a row of tool buttons (Play, Pause, Stop, Next, Prev, Step, Back,
/// Record, Eject) whose enabling the owner sets; it decides nothing itself.
class TMediaTransport : public QWidget {
    Q_OBJECT
public:
    explicit TMediaTransport(QWidget* parent = nullptr);

    void SetEnabledButtons(TButtonSet buttons);
    void SetVisibleButtons(TButtonSet buttons);
    QToolButton* Button(TMPBtnType type) const { return buttons_[static_cast<size_t>(type)]; }

Q_SIGNALS:
    void Click(TMPBtnType button);

private:
    std::array<QToolButton*, 9> buttons_{};
};
