#pragma once

#include <QString>
#include <QWidget>

#include "core/Settings.h"

class QComboBox;
class QLabel;
class QLineEdit;
class TMainController;

/// What the header says about where the names came from, or that a lookup runs.
QString DiscHeaderSourceText(TNamesSource source, bool lookingUp);

/// The disc above the track list: its cover (a placeholder when it has none), its artist,
/// album, year and genre, edited in place into the disc information as the options dialog's
/// tag page edits them, and where the names came from. Thin over the controller.
class TDiscHeader : public QWidget {
    Q_OBJECT
public:
    static constexpr int kCoverSize = 96;

    TDiscHeader(TMainController& controller, QWidget* parent = nullptr);

    /// Shows the loaded disc's names and their source; fields being typed in keep their text.
    void Refresh();
    /// Shows the cover kept for the loaded disc.
    void RefreshCover();
    void SetLookingUp(bool running);

    QLabel* lbCover = nullptr;
    QLineEdit* eArtist = nullptr;
    QLineEdit* eAlbum = nullptr;
    QLineEdit* eYear = nullptr;
    QComboBox* cbGenre = nullptr;
    QLabel* lbSource = nullptr;

private:
    TMainController& controller_;
    bool lookingUp_ = false;
    QString coverKey_ = QStringLiteral("?"); ///< the disc whose cover is shown
};
