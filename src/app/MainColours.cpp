#include "app/MainColours.h"

#include <cmath>

#include <QPalette>

namespace {

double Channel(double c)
{
    c /= 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& c)
{
    return 0.2126 * Channel(c.red()) + 0.7152 * Channel(c.green()) + 0.0722 * Channel(c.blue());
}

/// The palette's text where it reads on the background; otherwise black or white, whichever
/// reads better.
QColor TextOn(const QColor& background, const QColor& preferred)
{
    constexpr double kReadable = 4.5;
    if (ContrastRatio(preferred, background) >= kReadable)
        return preferred;
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return ContrastRatio(black, background) >= ContrastRatio(white, background) ? black : white;
}

QString Rgb(const QColor& c)
{
    return QStringLiteral("rgb(%1, %2, %3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

} // namespace

double ContrastRatio(const QColor& a, const QColor& b)
{
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool IsDarkPalette(const QPalette& palette)
{
    return Luminance(palette.color(QPalette::WindowText)) >
           Luminance(palette.color(QPalette::Window));
}

TMainColours MainColours(const QPalette& palette)
{
    TMainColours c;
    if (IsDarkPalette(palette)) {
        c.Window = palette.color(QPalette::Window);
        c.Toolbar = palette.color(QPalette::Button);
        c.List = palette.color(QPalette::Base);
        c.Status = palette.color(QPalette::Window);
    } else {
        c.Window = QColor(214, 223, 247);
        c.Toolbar = QColor(228, 228, 255);
        c.List = QColor(239, 239, 255);
        c.Status = QColor(220, 225, 255);
    }
    c.ToolbarText = TextOn(c.Toolbar, palette.color(QPalette::ButtonText));
    c.ListText = TextOn(c.List, palette.color(QPalette::Text));
    c.StatusText = TextOn(c.Status, palette.color(QPalette::WindowText));
    c.WindowText = TextOn(c.Window, palette.color(QPalette::WindowText));
    return c;
}

QString MainStyleSheet(const TMainColours& c)
{
    return QStringLiteral("QMainWindow { background: %1; }"
                          "QToolBar#ToolBar1 { background: %2; border: none; }"
                          "QToolBar#ToolBar1 QToolButton { color: %3; }"
                          "QTreeView#ListView1 { background: %4; color: %5; }"
                          "QStatusBar#StatusBar1 { background: %6; }"
                          "QStatusBar#StatusBar1 QLabel { color: %7; }"
                          "QWidget#DiscHeader QLabel { color: %8; }")
        .arg(Rgb(c.Window), Rgb(c.Toolbar), Rgb(c.ToolbarText), Rgb(c.List), Rgb(c.ListText),
             Rgb(c.Status), Rgb(c.StatusText), Rgb(c.WindowText));
}
