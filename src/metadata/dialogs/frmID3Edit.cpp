#include "metadata/dialogs/frmID3Edit.h"

#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "core/ErrorHandler.h"
#include "metadata/Genres.h"
#include "metadata/dialogs/ActionButton.h"

namespace {

QLineEdit* LimitedEdit(QWidget* parent, const char* name, int limit)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMaxLength(limit);
    return edit;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

TfrmID3Edit::TfrmID3Edit(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmID3Edit"));
    setModal(true);

    auto* group = new QGroupBox(QStringLiteral("ID3 Tag"), this);
    auto* grid = new QGridLayout(group);
    ID3title = LimitedEdit(group, "ID3title", Tid3tag::TextWidth);
    ID3artist = LimitedEdit(group, "ID3artist", Tid3tag::TextWidth);
    ID3album = LimitedEdit(group, "ID3album", Tid3tag::TextWidth);
    ID3year = LimitedEdit(group, "ID3year", Tid3tag::YearWidth);
    ID3genre = new QComboBox(group);
    ID3genre->setObjectName(QStringLiteral("ID3genre"));
    ID3genre->addItems(GenreList());
    ID3genre->setMaxVisibleItems(12);
    ID3comment = LimitedEdit(group, "ID3comment", Tid3tag::TextWidth);
    ID3track = LimitedEdit(group, "ID3track", 2);
    // Digits only; anything else typed is swallowed.
    ID3track->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), ID3track));
    const std::pair<const char*, QWidget*> rows[] = {
        {"Title:", ID3title}, {"Artist:", ID3artist},   {"Album:", ID3album},   {"Year:", ID3year},
        {"Genre:", ID3genre}, {"Comment:", ID3comment}, {"Track #:", ID3track},
    };
    int r = 0;
    for (const auto& [label, control] : rows) {
        auto* caption = new QLabel(QString::fromLatin1(label), group);
        caption->setBuddy(control);
        // A screen reader names each field by its caption, not by the group around them all.
        control->setAccessibleName(caption->text().chopped(1));
        grid->addWidget(caption, r, 0);
        grid->addWidget(control, r++, 1);
    }
    ID3year->setMaximumWidth(60);
    ID3track->setMaximumWidth(40);
    grid->setColumnStretch(1, 1);

    aSaveTag = new QAction(QStringLiteral("&Save Tag"), this);
    aSaveTag->setObjectName(QStringLiteral("aSaveTag"));
    aRemoveTag = new QAction(QStringLiteral("&Remove Tag"), this);
    aRemoveTag->setObjectName(QStringLiteral("aRemoveTag"));

    btLoad = Button(this, "btLoad", QStringLiteral("&Load Tag..."));
    btSave = Button(this, "btSave", aSaveTag->text());
    btRemove = Button(this, "btRemove", aRemoveTag->text());
    btSaveAs = Button(this, "btSaveAs", QStringLiteral("&Save As..."));
    btClose = Button(this, "btClose", QStringLiteral("&Close"));
    BindButtonToAction(btSave, aSaveTag);
    BindButtonToAction(btRemove, aRemoveTag);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {btLoad, btSave, btRemove, btSaveAs})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(btClose);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addLayout(buttons);

    connect(btLoad, &QPushButton::clicked, this,
            [this] { GuardedCall([this] { btLoadClick(); }); });
    connect(aSaveTag, &QAction::triggered, this,
            [this] { GuardedCall([this] { aSaveTagExecute(); }); });
    connect(btSaveAs, &QPushButton::clicked, this,
            [this] { GuardedCall([this] { btSaveAsClick(); }); });
    connect(aRemoveTag, &QAction::triggered, this,
            [this] { GuardedCall([this] { aRemoveTagExecute(); }); });
    connect(btClose, &QPushButton::clicked, this, &QDialog::reject);

    UpdateState();
    resize(430, 260);
}

TfrmID3Edit::~TfrmID3Edit() = default;

TID3EditFields TfrmID3Edit::Fields() const
{
    TID3EditFields f;
    f.Title = ID3title->text();
    f.Artist = ID3artist->text();
    f.Album = ID3album->text();
    f.Year = ID3year->text();
    f.Comment = ID3comment->text();
    f.Genre = ID3genre->currentIndex();
    f.Track = ID3track->text();
    return f;
}

void TfrmID3Edit::ShowFields(const TID3EditFields& f)
{
    ID3title->setText(f.Title);
    ID3artist->setText(f.Artist);
    ID3album->setText(f.Album);
    ID3year->setText(f.Year);
    ID3comment->setText(f.Comment);
    ID3genre->setCurrentIndex(f.Genre);
    ID3track->setText(f.Track);
}

void TfrmID3Edit::UpdateState()
{
    setWindowTitle(logic_.Caption());
    aSaveTag->setEnabled(logic_.FileChosen());
    aRemoveTag->setEnabled(logic_.FileChosen());
}

void TfrmID3Edit::btLoadClick()
{
    TID3EditFields f;
    if (logic_.Load(f))
        ShowFields(f);
    UpdateState();
}

void TfrmID3Edit::aSaveTagExecute()
{
    logic_.Save(Fields());
}

void TfrmID3Edit::btSaveAsClick()
{
    logic_.SaveAs(Fields());
    UpdateState();
}

void TfrmID3Edit::aRemoveTagExecute()
{
    TID3EditFields f;
    if (logic_.Remove(f))
        ShowFields(f);
}
