#include "recorder/MediaTransport.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QStyle>
#include <QToolButton>

namespace {

QIcon RecordIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 30, 30));
    p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    return QIcon(pm);
}

} // namespace

TMediaTransport::TMediaTransport(QWidget* parent) : QWidget(parent)
{
    struct ButtonDef {
        TMPBtnType type;
        const char* name;
        QStyle::StandardPixmap icon;
    };
    static const ButtonDef buttons[] = {
        {btPlay, "Play", QStyle::SP_MediaPlay},
        {btPause, "Pause", QStyle::SP_MediaPause},
        {btStop, "Stop", QStyle::SP_MediaStop},
        {btNext, "Next", QStyle::SP_MediaSkipForward},
        {btPrev, "Prev", QStyle::SP_MediaSkipBackward},
        {btStep, "Step", QStyle::SP_MediaSeekForward},
        {btBack, "Back", QStyle::SP_MediaSeekBackward},
        {btRecord, "Record", QStyle::SP_CustomBase},
        {btEject, "Eject", QStyle::SP_ArrowUp},
    };
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    for (const ButtonDef& s : buttons) {
        auto* b = new QToolButton(this);
        const QString name = QString::fromLatin1(s.name);
        b->setObjectName(QStringLiteral("bt") + name);
        b->setToolTip(name);
        b->setAccessibleName(name);
        b->setIcon(s.type == btRecord ? RecordIcon() : style()->standardIcon(s.icon));
        b->setAutoRaise(false);
        b->setEnabled(false);
        connect(b, &QToolButton::clicked, this, [this, t = s.type] { Q_EMIT Click(t); });
        layout->addWidget(b);
        buttons_[static_cast<size_t>(s.type)] = b;
    }
    layout->addStretch(1);
}

void TMediaTransport::SetEnabledButtons(TButtonSet buttons)
{
    for (size_t i = 0; i < buttons_.size(); ++i)
        buttons_[i]->setEnabled(buttons.Has(static_cast<TMPBtnType>(i)));
}

void TMediaTransport::SetVisibleButtons(TButtonSet buttons)
{
    for (size_t i = 0; i < buttons_.size(); ++i)
        buttons_[i]->setVisible(buttons.Has(static_cast<TMPBtnType>(i)));
}
