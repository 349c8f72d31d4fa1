#pragma once

#include <QFrame>
#include <QPixmap>
#include <QPoint>

class QLabel;
class QMenu;

/// A raised panel with a caption and an optional image at its left that works as a button:
/// pressing lowers it, and a click raises clicked() and then opens its popup menu above the
/// button (below it when there is no room above).
class TAfStartButton : public QFrame {
    Q_OBJECT
public:
    explicit TAfStartButton(QWidget* parent = nullptr);

    void SetCaption(const QString& caption);
    QString Caption() const { return caption_; }

    /// The image, a child of the button: auto-sized, transparent, at the left edge and
    /// vertically centred (at the top when taller than the button). Clicks on it are the
    /// button's.
    void Setm_Image(const QPixmap& image);
    QLabel* m_Image() const { return image_; }
    void Setm_PopupMenu(QMenu* menu) { menu_ = menu; }
    QMenu* m_PopupMenu() const { return menu_; }

    /// The menu's height as the button estimates it: items of itemHeight and separators of
    /// separatorHeight, plus 6 for the frame.
    static int EstimateMenuHeight(int items, int separators, int itemHeight, int separatorHeight);
    /// Where the menu opens: at the button's left, above its top when the menu is lower than
    /// the button's top on screen, else right below the button.
    static QPoint PopupPoint(const QPoint& buttonTopLeft, int buttonHeight, int menuHeight);
    /// The estimate for the current menu (0 without one).
    int MenuHeight() const;

    /// The click: clicked(), then the menu.
    void Click();
    bool Pressed() const { return pressed_; }

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    QSize sizeHint() const override;

private:
    void PlaceImage();
    void SetPressed(bool pressed);

    QString caption_;
    QLabel* image_ = nullptr;
    QMenu* menu_ = nullptr;
    bool pressed_ = false;
};
