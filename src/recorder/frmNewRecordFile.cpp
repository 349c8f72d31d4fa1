#include "recorder/frmNewRecordFile.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TfrmNewRecordFile::TfrmNewRecordFile(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmNewRecordFile"));
    setWindowTitle(QStringLiteral("New sound file"));

    GroupBox1 = new QGroupBox(QStringLiteral("Record Property"), this);
    auto* grid = new QGridLayout(GroupBox1);

    cbBitSamples = new QComboBox(GroupBox1);
    cbBitSamples->setObjectName(QStringLiteral("cbBitSamples"));
    // Pick-only: a typed rate would be shown but not recorded with.
    cbBitSamples->setEditable(false);
    cbBitSamples->addItems(
        {QStringLiteral("  8000"), QStringLiteral("11025"), QStringLiteral("12000"),
         QStringLiteral("16000"), QStringLiteral("22050"), QStringLiteral("24000"),
         QStringLiteral("32000"), QStringLiteral("44100"), QStringLiteral("48000")});
    cbBitSamples->setCurrentIndex(7);
    auto* rateLabel = new QLabel(QStringLiteral("Bitrate\uFF1A"), GroupBox1);
    rateLabel->setBuddy(cbBitSamples);
    grid->addWidget(rateLabel, 0, 0);
    grid->addWidget(cbBitSamples, 0, 1, 1, 2);

    rbBitNumber = new QRadioButton(QStringLiteral("8bit"), GroupBox1);
    rbBitNumber->setObjectName(QStringLiteral("rbBitNumber"));
    RadioButton2 = new QRadioButton(QStringLiteral("16bit"), GroupBox1);
    RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
    RadioButton2->setChecked(true);
    auto* bits = new QButtonGroup(this);
    bits->addButton(rbBitNumber);
    bits->addButton(RadioButton2);
    grid->addWidget(new QLabel(QStringLiteral("Data\uFF1A"), GroupBox1), 1, 0);
    grid->addWidget(rbBitNumber, 1, 1);
    grid->addWidget(RadioButton2, 1, 2);

    rbChannelNumber = new QRadioButton(QStringLiteral("Mono"), GroupBox1);
    rbChannelNumber->setObjectName(QStringLiteral("rbChannelNumber"));
    RadioButton4 = new QRadioButton(QStringLiteral("Stereo"), GroupBox1);
    RadioButton4->setObjectName(QStringLiteral("RadioButton4"));
    RadioButton4->setChecked(true);
    auto* channels = new QButtonGroup(this);
    channels->addButton(rbChannelNumber);
    channels->addButton(RadioButton4);
    grid->addWidget(new QLabel(QStringLiteral("Mode\uFF1A"), GroupBox1), 2, 0);
    grid->addWidget(rbChannelNumber, 2, 1);
    grid->addWidget(RadioButton4, 2, 2);

    btOk = new QPushButton(QStringLiteral("OK"), this);
    btOk->setObjectName(QStringLiteral("btOk"));
    btOk->setDefault(true);
    btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    connect(btOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btOk);
    buttons->addWidget(btCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());
}

TNewRecordChoice TfrmNewRecordFile::Choice() const
{
    TNewRecordChoice c;
    const int index = cbBitSamples->currentIndex();
    c.RateText = index >= 0 ? cbBitSamples->itemText(index) : QString();
    c.EightBit = rbBitNumber->isChecked();
    c.Mono = rbChannelNumber->isChecked();
    return c;
}
