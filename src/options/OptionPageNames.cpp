#include "options/OptionPageNames.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "options/OptionSetLogic.h"

TOptionPageNames::TOptionPageNames(std::function<TOptionFormValues()> formValues,
                                   TExampleTrack track, QWidget* parent)
    : QWidget(parent), formValues_(std::move(formValues)), track_(std::move(track))
{
    setObjectName(QStringLiteral("pageNames"));
    auto* grid = new QGridLayout(this);
    ckWriteTags = new QCheckBox(
        QStringLiteral("Write tags (title, artist, album, track, year, genre) into ripped files"),
        this);
    ckWriteTags->setObjectName(QStringLiteral("ckWriteTags"));
    grid->addWidget(ckWriteTags, 0, 0, 1, 2);

    cbNamePattern = new QComboBox(this);
    cbNamePattern->setObjectName(QStringLiteral("cbNamePattern"));
    cbNamePattern->setEditable(true);
    cbNamePattern->setInsertPolicy(QComboBox::NoInsert);
    cbNamePattern->addItems(TLibraryOptionsLogic::CommonPatterns());
    cbNamePattern->setAccessibleName(QStringLiteral("File name pattern"));
    auto* patternLabel = new QLabel(QStringLiteral("File name pattern:"), this);
    patternLabel->setBuddy(cbNamePattern);
    grid->addWidget(patternLabel, 1, 0);
    grid->addWidget(cbNamePattern, 1, 1);

    auto* legend = new QLabel(
        QStringLiteral("%A artist, %d album, %y year, %g genre, %n track number, %N number of "
                       "tracks, %t title, %% a percent sign. A \"/\" makes a folder. Empty: "
                       "the title alone, as before."),
        this);
    legend->setWordWrap(true);
    grid->addWidget(legend, 2, 1);

    auto* exampleLabel = new QLabel(QStringLiteral("Example:"), this);
    lNameExample = new QLabel(this);
    lNameExample->setObjectName(QStringLiteral("lNameExample"));
    lNameExample->setWordWrap(true);
    lNameExample->setTextFormat(Qt::PlainText);
    lNameExample->setTextInteractionFlags(Qt::TextSelectableByMouse);
    exampleLabel->setBuddy(lNameExample);
    grid->addWidget(exampleLabel, 3, 0, Qt::AlignTop);
    grid->addWidget(lNameExample, 3, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(4, 1);

    connect(cbNamePattern, &QComboBox::editTextChanged, this, &TOptionPageNames::UpdateExample);
}

void TOptionPageNames::Load(const TLibraryOptionValues& v)
{
    ckWriteTags->setChecked(v.WriteTags);
    cbNamePattern->setEditText(v.NamePattern);
    UpdateExample();
}

void TOptionPageNames::Save(TLibraryOptionValues& v) const
{
    v.WriteTags = ckWriteTags->isChecked();
    v.NamePattern = cbNamePattern->currentText();
}

void TOptionPageNames::UpdateExample()
{
    if (!formValues_)
        return;
    TLibraryOptionValues v;
    Save(v);
    lNameExample->setText(TLibraryOptionsLogic::Example(v, formValues_(), track_));
}

void TOptionPageNames::showEvent(QShowEvent* event)
{
    UpdateExample();
    QWidget::showEvent(event);
}
