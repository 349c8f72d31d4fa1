#include "options/OptionPageFlacOpus.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

TOptionPageFlacOpus::TOptionPageFlacOpus(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pageFlacOpus"));
    auto* layout = new QVBoxLayout(this);

    auto* flac = new QGroupBox(QStringLiteral("FLAC (lossless)"), this);
    auto* flacGrid = new QGridLayout(flac);
    sbFlacLevel = new QSpinBox(flac);
    sbFlacLevel->setObjectName(QStringLiteral("sbFlacLevel"));
    sbFlacLevel->setRange(0, 8);
    sbFlacLevel->setAccessibleName(QStringLiteral("Compression level"));
    auto* levelLabel = new QLabel(QStringLiteral("Compression level:"), flac);
    levelLabel->setBuddy(sbFlacLevel);
    flacGrid->addWidget(levelLabel, 0, 0);
    flacGrid->addWidget(sbFlacLevel, 0, 1);
    flacGrid->addWidget(new QLabel(QStringLiteral("0 fastest, 8 smallest"), flac), 0, 2);
    ckFlacVerify = new QCheckBox(QStringLiteral("Verify the encoded audio"), flac);
    ckFlacVerify->setObjectName(QStringLiteral("ckFlacVerify"));
    flacGrid->addWidget(ckFlacVerify, 1, 0, 1, 3);
    flacGrid->setColumnStretch(2, 1);
    layout->addWidget(flac);

    auto* opus = new QGroupBox(QStringLiteral("Opus"), this);
    auto* opusGrid = new QGridLayout(opus);
    sbOpusBitrate = new QSpinBox(opus);
    sbOpusBitrate->setObjectName(QStringLiteral("sbOpusBitrate"));
    sbOpusBitrate->setRange(6, 512);
    sbOpusBitrate->setSuffix(QStringLiteral(" kbit/s"));
    sbOpusBitrate->setAccessibleName(QStringLiteral("Opus bitrate"));
    auto* rateLabel = new QLabel(QStringLiteral("Bitrate (VBR):"), opus);
    rateLabel->setBuddy(sbOpusBitrate);
    opusGrid->addWidget(rateLabel, 0, 0);
    opusGrid->addWidget(sbOpusBitrate, 0, 1);
    opusGrid->setColumnStretch(2, 1);
    layout->addWidget(opus);
    layout->addStretch(1);
}

void TOptionPageFlacOpus::Load(const TLibraryOptionValues& v)
{
    sbFlacLevel->setValue(v.FlacLevel);
    ckFlacVerify->setChecked(v.FlacVerify);
    sbOpusBitrate->setValue(v.OpusBitrate);
}

void TOptionPageFlacOpus::Save(TLibraryOptionValues& v) const
{
    v.FlacLevel = sbFlacLevel->value();
    v.FlacVerify = ckFlacVerify->isChecked();
    v.OpusBitrate = sbOpusBitrate->value();
}
