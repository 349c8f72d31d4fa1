#include "app/DiscHeader.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include "app/CoverStore.h"
#include "app/MainController.h"
#include "metadata/Genres.h"

namespace {

void ShowText(QLineEdit* edit, const QString& text)
{
    // Setting the same text again would move the cursor of someone typing.
    if (edit->text() != text)
        edit->setText(text);
}

} // namespace

QString DiscHeaderSourceText(TNamesSource source, bool lookingUp)
{
    if (lookingUp)
        return QStringLiteral("Looking up names in MusicBrainz...");
    switch (source) {
    case TNamesSource::Typed:
        return QStringLiteral("Names typed");
    case TNamesSource::Cddb:
        return QStringLiteral("Names from CDDB");
    case TNamesSource::MusicBrainz:
        return QStringLiteral("Names from MusicBrainz");
    case TNamesSource::None:
        break;
    }
    return QStringLiteral("No names yet");
}

TDiscHeader::TDiscHeader(TMainController& controller, QWidget* parent)
    : QWidget(parent), controller_(controller)
{
    setObjectName(QStringLiteral("DiscHeader"));
    lbCover = new QLabel(this);
    lbCover->setObjectName(QStringLiteral("lbCover"));
    lbCover->setAccessibleName(QStringLiteral("Cover"));
    lbCover->setFixedSize(kCoverSize, kCoverSize);
    lbCover->setAlignment(Qt::AlignCenter);
    lbCover->setTextFormat(Qt::PlainText);

    const auto edit = [this](const char* name, const QString& accessible) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setAccessibleName(accessible);
        return e;
    };
    eArtist = edit("eArtist", QStringLiteral("Artist"));
    eAlbum = edit("eAlbum", QStringLiteral("Album"));
    eYear = edit("eYear", QStringLiteral("Year"));
    eYear->setMaximumWidth(eYear->fontMetrics().horizontalAdvance(QStringLiteral("00000000")));
    cbGenre = new QComboBox(this);
    cbGenre->setObjectName(QStringLiteral("cbGenre"));
    cbGenre->setAccessibleName(QStringLiteral("Genre"));
    cbGenre->addItems(GenreList());
    cbGenre->setMaxVisibleItems(16);
    lbSource = new QLabel(this);
    lbSource->setObjectName(QStringLiteral("lbSource"));
    lbSource->setTextFormat(Qt::PlainText);

    const auto caption = [this](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };
    auto* fields = new QGridLayout;
    fields->setContentsMargins(0, 0, 0, 0);
    fields->addWidget(caption(QStringLiteral("A&rtist:"), eArtist), 0, 0);
    fields->addWidget(eArtist, 0, 1);
    fields->addWidget(caption(QStringLiteral("&Year:"), eYear), 0, 2);
    fields->addWidget(eYear, 0, 3);
    fields->addWidget(caption(QStringLiteral("Al&bum:"), eAlbum), 1, 0);
    fields->addWidget(eAlbum, 1, 1);
    fields->addWidget(caption(QStringLiteral("&Genre:"), cbGenre), 1, 2);
    fields->addWidget(cbGenre, 1, 3);
    fields->addWidget(lbSource, 2, 0, 1, 4);
    fields->setColumnStretch(1, 1);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 6, 0, 6);
    layout->addWidget(lbCover, 0, Qt::AlignTop);
    layout->addLayout(fields, 1);

    connect(eArtist, &QLineEdit::textEdited, this, [this](const QString& text) {
        controller_.SetDiscField(TMainController::DiscField::Artist, text);
    });
    connect(eAlbum, &QLineEdit::textEdited, this, [this](const QString& text) {
        controller_.SetDiscField(TMainController::DiscField::Album, text);
    });
    connect(eYear, &QLineEdit::textEdited, this, [this](const QString& text) {
        controller_.SetDiscField(TMainController::DiscField::Year, text);
    });
    connect(cbGenre, &QComboBox::activated, this,
            [this](int position) { controller_.SetDiscGenre(position); });
    connect(&controller_, &TMainController::NamesChanged, this, &TDiscHeader::Refresh);
    Refresh();
}

void TDiscHeader::Refresh()
{
    const bool disc = controller_.HasDisc();
    const TCDInfo& info = OptionsSetting().CDInfo;
    ShowText(eArtist, disc ? info.Artist : QString());
    ShowText(eAlbum, disc ? info.Album : QString());
    ShowText(eYear, disc ? info.Year : QString());
    const int genre = disc && info.Genre >= 0 && info.Genre < GenreListCount ? info.Genre : -1;
    if (cbGenre->currentIndex() != genre)
        cbGenre->setCurrentIndex(genre);
    for (QWidget* w : {static_cast<QWidget*>(eArtist), static_cast<QWidget*>(eAlbum),
                       static_cast<QWidget*>(eYear), static_cast<QWidget*>(cbGenre)})
        w->setEnabled(disc);
    lbSource->setText(disc ? DiscHeaderSourceText(controller_.NamesSource(), lookingUp_)
                           : QString());
    if (coverKey_ != (disc ? controller_.LoadedDiscKey() : QString()))
        RefreshCover();
}

void TDiscHeader::RefreshCover()
{
    coverKey_ = controller_.HasDisc() ? controller_.LoadedDiscKey() : QString();
    const qreal ratio = devicePixelRatioF();
    const QSize within = QSize(kCoverSize, kCoverSize) * ratio;
    const QImage cover = coverKey_.isEmpty() ? QImage() : LoadCover(coverKey_, within);
    if (cover.isNull()) {
        lbCover->setPixmap(QPixmap());
        lbCover->setText(QStringLiteral("No cover"));
        lbCover->setFrameShape(QFrame::StyledPanel);
        lbCover->setAccessibleDescription(QStringLiteral("No cover"));
        return;
    }
    QPixmap pixmap =
        QPixmap::fromImage(cover.scaled(within, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(ratio);
    lbCover->setFrameShape(QFrame::NoFrame);
    lbCover->setText(QString());
    lbCover->setPixmap(pixmap);
    lbCover->setAccessibleDescription(QStringLiteral("Front cover"));
}

void TDiscHeader::SetLookingUp(bool running)
{
    lookingUp_ = running;
    Refresh();
}
