#pragma once

#include <QColor>
#include <QString>

class QPalette;

/// The main window's colours. Every background comes with the text colour drawn on it, so a
/// desktop palette can never put its light text on the window's own light blue, or the reverse.
struct TMainColours {
    QColor Window;
    QColor Toolbar;
    QColor List;
    QColor Status;
    QColor ToolbarText;
    QColor ListText;
    QColor StatusText;
    QColor WindowText; ///< the disc header's captions, on Window
};

/// Whether a palette draws light text on dark backgrounds.
bool IsDarkPalette(const QPalette& palette);

/// Under a light palette the window's own light blues; under a dark one the palette's own
/// backgrounds. Text is the palette's where it is readable on its background, else black.
TMainColours MainColours(const QPalette& palette);

/// The style sheet that applies them to the main window's widgets (by object name).
QString MainStyleSheet(const TMainColours& colours);

/// The contrast ratio of two colours as the web's accessibility guidelines define it: 1 (none)
/// to 21 (black on white); 4.5 is the least they accept for text.
double ContrastRatio(const QColor& a, const QColor& b);
