#include "recorder/AfStartButton.h"

#include <algorithm>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

namespace {

/// What a screen reader sees of the button: a push button that can be pressed and that has a
/// popup. The popup, while open, is the button's last child: Qt leaves popup windows out of the
/// application's tree, so without this its items could not be found. (The menu still names the
/// application as its parent: Qt gives every window that one.)
class TAfStartButtonAccessible : public QAccessibleWidget {
public:
    explicit TAfStartButtonAccessible(TAfStartButton* button)
        : QAccessibleWidget(button, QAccessible::Button)
    {
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.hasPopup = Button()->m_PopupMenu() != nullptr;
        s.pressed = Button()->Pressed();
        return s;
    }
    int childCount() const override { return QAccessibleWidget::childCount() + (Popup() ? 1 : 0); }
    QAccessibleInterface* child(int index) const override
    {
        const int own = QAccessibleWidget::childCount();
        if (index == own && Popup())
            return QAccessible::queryAccessibleInterface(Popup());
        return index < own ? QAccessibleWidget::child(index) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (child != nullptr && Popup() && child->object() == Popup())
            return QAccessibleWidget::childCount();
        return QAccessibleWidget::indexOfChild(child);
    }
    QStringList actionNames() const override
    {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override
    {
        if (name == pressAction())
            Button()->Click();
        else
            QAccessibleWidget::doAction(name);
    }
    QStringList keyBindingsForAction(const QString& name) const override
    {
        if (name == pressAction())
            return {QStringLiteral("Space")};
        return QAccessibleWidget::keyBindingsForAction(name);
    }

private:
    TAfStartButton* Button() const { return static_cast<TAfStartButton*>(widget()); }
    /// The menu while it is open.
    QMenu* Popup() const
    {
        QMenu* menu = Button()->m_PopupMenu();
        return menu != nullptr && menu->isVisible() ? menu : nullptr;
    }
};

QAccessibleInterface* MakeAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String("TAfStartButton"))
        if (auto* button = qobject_cast<TAfStartButton*>(object))
            return new TAfStartButtonAccessible(button);
    return nullptr;
}

} // namespace

TAfStartButton::TAfStartButton(QWidget* parent) : QFrame(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(MakeAccessible);
        return true;
    }();
    (void)installed;
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(2);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Start"));
}

void TAfStartButton::SetCaption(const QString& caption)
{
    caption_ = caption;
    setAccessibleName(QString(caption).remove(QLatin1Char('&')));
    update();
}

void TAfStartButton::Setm_Image(const QPixmap& image)
{
    if (image_ == nullptr) {
        image_ = new QLabel(this);
        image_->setObjectName(QStringLiteral("m_Image"));
        image_->setAttribute(Qt::WA_TranslucentBackground);
        // Presses on the image reach the button at the same screen point.
        image_->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    image_->setPixmap(image);
    image_->adjustSize();
    PlaceImage();
    image_->show();
    updateGeometry();
}

void TAfStartButton::PlaceImage()
{
    if (image_ == nullptr)
        return;
    const int h = image_->height();
    const int y = h > height() ? 0 : (height() - h) / 2;
    image_->move(lineWidth() + (pressed_ ? 1 : 0), y + (pressed_ ? 1 : 0));
}

int TAfStartButton::EstimateMenuHeight(int items, int separators, int itemHeight,
                                       int separatorHeight)
{
    return (items - separators) * itemHeight + separators * separatorHeight + 6;
}

QPoint TAfStartButton::PopupPoint(const QPoint& buttonTopLeft, int buttonHeight, int menuHeight)
{
    if (menuHeight < buttonTopLeft.y())
        return {buttonTopLeft.x(), buttonTopLeft.y() - menuHeight};
    return {buttonTopLeft.x(), buttonTopLeft.y() + buttonHeight};
}

int TAfStartButton::MenuHeight() const
{
    if (menu_ == nullptr)
        return 0;
    const QList<QAction*> actions = menu_->actions();
    int separators = 0;
    int lastSeparator = -1;
    for (int i = 0; i < actions.size(); ++i) {
        if (actions[i]->isSeparator()) {
            ++separators;
            lastSeparator = i;
        }
    }
    int itemHeight = menu_->logicalDpiY() == 120 ? 21 : 17;
    int separatorHeight = 9;
    if (!actions.isEmpty()) {
        const int first = menu_->actionGeometry(actions.first()).height();
        if (first > 0) {
            itemHeight = first;
            if (lastSeparator > 0)
                separatorHeight = menu_->actionGeometry(actions[lastSeparator]).height();
        }
    }
    return EstimateMenuHeight(static_cast<int>(actions.size()), separators, itemHeight,
                              separatorHeight);
}

void TAfStartButton::Click()
{
    Q_EMIT clicked();
    if (menu_ == nullptr)
        return;
    menu_->popup(PopupPoint(mapToGlobal(QPoint(0, 0)), height(), MenuHeight()));
}

void TAfStartButton::SetPressed(bool pressed)
{
    pressed_ = pressed;
    setFrameShadow(pressed ? QFrame::Sunken : QFrame::Raised);
    PlaceImage();
    update();
}

void TAfStartButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        SetPressed(true);
    QFrame::mousePressEvent(event);
}

void TAfStartButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && pressed_) {
        SetPressed(false);
        if (rect().contains(event->position().toPoint()))
            Click();
    }
    QFrame::mouseReleaseEvent(event);
}

void TAfStartButton::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        Click();
        return;
    }
    QFrame::keyPressEvent(event);
}

void TAfStartButton::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter p(this);
    QRect text = contentsRect();
    if (image_ != nullptr)
        text.setLeft(image_->geometry().right() + 4);
    if (pressed_)
        text.translate(1, 1);
    p.drawText(text, Qt::AlignCenter | Qt::TextShowMnemonic, caption_);
}

void TAfStartButton::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    PlaceImage();
}

QSize TAfStartButton::sizeHint() const
{
    const QFontMetrics fm(font());
    const int imageWidth = image_ != nullptr ? image_->width() + 4 : 0;
    const int imageHeight = image_ != nullptr ? image_->height() : 0;
    return {imageWidth + fm.horizontalAdvance(caption_) + 24,
            std::max(imageHeight, fm.height()) + 10};
}
