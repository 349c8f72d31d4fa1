#include "options/OptionSetForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "core/AppPaths.h"
#include "core/ErrorHandler.h"
#include "core/FileDialogService.h"
#include "core/MessageBoxService.h"
#include "metadata/Genres.h"
#include "options/LimitedLineEdit.h"
#include "options/OptionPageFlacOpus.h"
#include "options/OptionPageNames.h"

namespace {

template <typename W> W* Named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QComboBox* PickList(QWidget* parent, const char* name, const QStringList& items)
{
    auto* box = Named(new QComboBox(parent), name);
    box->addItems(items);
    box->setMaxVisibleItems(12);
    return box;
}

// Editable list whose typed text is what counts.
QComboBox* TypedList(QWidget* parent, const char* name, const QStringList& items)
{
    auto* box = PickList(parent, name, items);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    return box;
}

/// A caption; with a buddy it also names that field for screen readers.
QLabel* Caption(const QString& text, QWidget* parent, QWidget* buddy = nullptr)
{
    auto* label = new QLabel(text, parent);
    if (buddy != nullptr)
        label->setBuddy(buddy);
    return label;
}

} // namespace

TOptionSetForm::TOptionSetForm(QWidget* parent, IDriveHost* host, const TOptionsSetting& defaults)
    : QDialog(parent), logic_(defaults), host_(host)
{
    setObjectName(QStringLiteral("OptionSetForm"));
    setWindowTitle(QStringLiteral("Options"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    PageControl1 = Named(new QTabWidget(this), "PageControl1");
    PageControl1->addTab(BuildOutputTab(), QStringLiteral("Output"));
    PageControl1->addTab(BuildLameTab(), QStringLiteral("LAME"));
    PageControl1->addTab(BuildOggTab(), QStringLiteral("OGG"));
    PageControl1->addTab(BuildWmaTab(), QStringLiteral("WMA"));
    PageControl1->addTab(BuildId3Tab(), QStringLiteral("ID3 Tag"));
    PageControl1->addTab(BuildCdRomTab(), QStringLiteral("CD-ROM"));
    pageFlacOpus = new TOptionPageFlacOpus(PageControl1);
    PageControl1->addTab(pageFlacOpus, TLibraryOptionsLogic::FlacOpusCaption());
    pageNames = new TOptionPageNames([this] { return Values(); },
                                     host ? host->ExampleTrack() : TExampleTrack{}, PageControl1);
    PageControl1->addTab(pageNames, QStringLiteral("File names"));
    // Every tab stays in view: the dialog is as wide as the row of tabs needs under any style
    // and font, rather than hiding tabs behind scroll arrows.
    PageControl1->setUsesScrollButtons(false);
    layout->addWidget(PageControl1, 1);
    // Ctrl+Tab turns the page wherever the focus is: a drop-down list would take it as typing.
    const auto turn = [this](int step) {
        const int n = PageControl1->count();
        PageControl1->setCurrentIndex((PageControl1->currentIndex() + step + n) % n);
    };
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this), &QShortcut::activated, this,
            [turn] { turn(1); });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), this),
            &QShortcut::activated, this, [turn] { turn(-1); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btOK = Named(new QPushButton(QStringLiteral("OK"), this), "btOK");
    btOK->setDefault(true);
    btCancel = Named(new QPushButton(QStringLiteral("Cancel"), this), "btCancel");
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    layout->addLayout(buttons);

    ShowValues(logic_.Open(OptionsSetting(), host_));
    const TLibraryOptionValues library = TLibraryOptionsLogic::Open(OptionsSetting());
    pageFlacOpus->Load(library);
    pageNames->Load(library);
    PageControl1->setCurrentIndex(tabOutput);

    connect(btOK, &QPushButton::clicked, this, [this] { GuardedCall([this] { btOKClick(); }); });
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btBrowser, &QPushButton::clicked, this,
            [this] { GuardedCall([this] { btBrowserClick(); }); });
    connect(bDefault, &QPushButton::clicked, this, [this] {
        TOptionFormValues v = Values();
        logic_.LameDefaults(v);
        ShowValues(v);
    });
    connect(bWMADefault, &QPushButton::clicked, this, [this] {
        TOptionFormValues v = Values();
        logic_.WmaDefaults(v);
        ShowValues(v);
    });
    for (QCheckBox* box : {ckNormalize, cbRipTime, ckbSelectVBR})
        connect(box, &QCheckBox::toggled, this, &TOptionSetForm::UpdateEnabling);
    connect(PageControl1, &QTabWidget::currentChanged, this,
            [this](int index) { GuardedCall([this, index] { TabShown(index); }); });
    resize(430, 330);
}

TOptionSetForm::~TOptionSetForm() = default;

QWidget* TOptionSetForm::BuildOutputTab()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* dirGroup = new QGroupBox(QStringLiteral("Output directory(WAV/MP3)"), page);
    auto* dirRow = new QHBoxLayout(dirGroup);
    editOutputDir = Named(new QLineEdit(dirGroup), "editOutputDir");
    btBrowser = Named(new QPushButton(QStringLiteral("..."), dirGroup), "btBrowser");
    btBrowser->setFixedWidth(32);
    dirRow->addWidget(editOutputDir, 1);
    dirRow->addWidget(btBrowser);
    layout->addWidget(dirGroup);

    auto* grid = new QGridLayout;
    ckbKeepWav = Named(new QCheckBox(QStringLiteral("Delete WAV file after processing"), page),
                       "ckbKeepWav");
    grid->addWidget(ckbKeepWav, 0, 0, 1, 3);
    cbOutputFormat = PickList(page, "cbOutputFormat", TOptionSetLogic::OutputFormatItems());
    grid->addWidget(Caption(QStringLiteral("Output format:"), page, cbOutputFormat), 1, 0);
    grid->addWidget(cbOutputFormat, 1, 1, 1, 2);
    ckNormalize = Named(new QCheckBox(QStringLiteral("Normalize"), page), "ckNormalize");
    grid->addWidget(ckNormalize, 2, 0);
    SpinEdit1 = Named(new QSpinBox(page), "SpinEdit1");
    SpinEdit1->setRange(0, 100);
    // Only the arrows change it, so the gain never leaves 0..100.
    SpinEdit1->findChild<QLineEdit*>()->setReadOnly(true);
    grid->addWidget(SpinEdit1, 2, 1);
    grid->addWidget(Caption(QStringLiteral("%"), page, SpinEdit1), 2, 2);
    seEncoders = Named(new QSpinBox(page), "seEncoders");
    seEncoders->setRange(0, TOptionSetLogic::MaxEncoders());
    seEncoders->setSpecialValueText(QStringLiteral("One per core"));
    seEncoders->setToolTip(
        QStringLiteral("How many tracks are encoded while the drive reads on; 1 encodes one "
                       "track after another."));
    grid->addWidget(Caption(QStringLiteral("Encoders at once:"), page, seEncoders), 3, 0);
    grid->addWidget(seEncoders, 3, 1);
    grid->setColumnStretch(2, 1);
    layout->addLayout(grid);

    // Kept and stored, but not offered: nothing uses the length yet.
    gbRipTime = Named(new QGroupBox(page), "gbRipTime");
    auto* ripRow = new QHBoxLayout(gbRipTime);
    cbRipTime =
        Named(new QCheckBox(QStringLiteral("Enable to set the length to extract"), gbRipTime),
              "cbRipTime");
    ripRow->addWidget(cbRipTime);
    ripRow->addWidget(Caption(QStringLiteral("The song length:"), gbRipTime));
    eRipTime = Named(new QLineEdit(gbRipTime), "eRipTime");
    ripRow->addWidget(eRipTime);
    ripRow->addWidget(Caption(QStringLiteral("Second"), gbRipTime));
    gbRipTime->setVisible(false);
    layout->addWidget(gbRipTime);
    layout->addStretch(1);
    return page;
}

QWidget* TOptionSetForm::BuildLameTab()
{
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    ckbSelectVBR =
        Named(new QCheckBox(QStringLiteral("Enable Variable Bitrate(VBR)"), page), "ckbSelectVBR");
    ckbVBRHead =
        Named(new QCheckBox(QStringLiteral("Disable writing of the VBR Tag"), page), "ckbVBRHead");
    grid->addWidget(ckbSelectVBR, 0, 0, 1, 2);
    grid->addWidget(ckbVBRHead, 1, 0, 1, 2);
    cbBitRate = TypedList(page, "cbBitRate", TOptionSetLogic::Mp3BitRateItems());
    cbMaxBitRate = TypedList(page, "cbMaxBitRate", TOptionSetLogic::Mp3BitRateItems());
    cbVBRQuality = PickList(page, "cbVBRQuality", TOptionSetLogic::VBRQualityItems());
    cbMpegQuality = PickList(page, "cbMpegQuality", TOptionSetLogic::MpegQualityItems());
    cbStereoMode = PickList(page, "cbStereoMode", TOptionSetLogic::StereoModeItems());
    const std::pair<const char*, QComboBox*> rows[] = {
        {"Minimum bitrate:", cbBitRate}, {"Maximum bitrate:", cbMaxBitRate},
        {"VBR Quality:", cbVBRQuality},  {"Speed/Quality:", cbMpegQuality},
        {"Mode:", cbStereoMode},
    };
    int r = 2;
    for (const auto& [label, box] : rows) {
        grid->addWidget(Caption(QString::fromLatin1(label), page, box), r, 0);
        grid->addWidget(box, r++, 1);
    }
    bDefault = Named(new QPushButton(QStringLiteral("&Default"), page), "bDefault");
    grid->addWidget(bDefault, r, 1, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(r + 1, 1);
    return page;
}

QWidget* TOptionSetForm::BuildOggTab()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    cbUseCompress =
        Named(new QCheckBox(QStringLiteral("Use Quality setting"), page), "cbUseCompress");
    layout->addWidget(cbUseCompress);
    auto* sliderRow = new QHBoxLayout;
    tbCompression = Named(new QSlider(Qt::Horizontal, page), "tbCompression");
    tbCompression->setRange(30, 100);
    tbCompression->setTickPosition(QSlider::TicksBelow);
    tbCompression->setTickInterval(10);
    sliderRow->addWidget(tbCompression, 1);
    sliderRow->addWidget(Caption(QStringLiteral("-> Highest quality"), page));
    layout->addLayout(sliderRow);

    auto* group = new QGroupBox(QStringLiteral("Use Bitrate manager"), page);
    auto* grid = new QGridLayout(group);
    cbOggNomBit = PickList(group, "cbOggNomBit", TOptionSetLogic::OggBitRateItems());
    cbOggMaxBit = PickList(group, "cbOggMaxBit", TOptionSetLogic::OggBitRateItems());
    cbOggMinBit = PickList(group, "cbOggMinBit", TOptionSetLogic::OggBitRateItems());
    grid->addWidget(Caption(QStringLiteral("Nominal bitrate:"), group, cbOggNomBit), 0, 0);
    grid->addWidget(cbOggNomBit, 0, 1);
    grid->addWidget(Caption(QStringLiteral("Maximum bitrate:"), group, cbOggMaxBit), 1, 0);
    grid->addWidget(cbOggMaxBit, 1, 1);
    grid->addWidget(Caption(QStringLiteral("Minimum bitrate:"), group, cbOggMinBit), 2, 0);
    grid->addWidget(cbOggMinBit, 2, 1);
    grid->setColumnStretch(1, 1);
    layout->addWidget(group);
    layout->addStretch(1);
    return page;
}

QWidget* TOptionSetForm::BuildWmaTab()
{
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    cbWMABitrate = PickList(page, "cbWMABitrate", TOptionSetLogic::WmaBitRateItems());
    grid->addWidget(Caption(QStringLiteral("Audio Bitrate:"), page, cbWMABitrate), 0, 0);
    grid->addWidget(cbWMABitrate, 0, 1);
    bWMADefault = Named(new QPushButton(QStringLiteral("&Default"), page), "bWMADefault");
    grid->addWidget(bWMADefault, 1, 1, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(2, 1);
    return page;
}

QWidget* TOptionSetForm::BuildId3Tab()
{
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    cbUseID3 = Named(new QCheckBox(QStringLiteral("Use ID3 tag"), page), "cbUseID3");
    grid->addWidget(cbUseID3, 0, 0, 1, 2);
    // Made in the order they are shown, which is the order Tab visits them.
    ID3artist = Named(new TLimitedLineEdit(30, page), "ID3artist");
    ID3album = Named(new TLimitedLineEdit(30, page), "ID3album");
    ID3year = Named(new TLimitedLineEdit(4, page), "ID3year");
    ID3genre = PickList(page, "ID3genre", GenreList());
    ID3comment = Named(new TLimitedLineEdit(30, page), "ID3comment");
    const std::pair<const char*, QWidget*> rows[] = {
        {"Artist:", ID3artist}, {"Album:", ID3album},     {"Year:", ID3year},
        {"Genre:", ID3genre},   {"Comment:", ID3comment},
    };
    int r = 1;
    for (const auto& [label, control] : rows) {
        grid->addWidget(Caption(QString::fromLatin1(label), page, control), r, 0);
        grid->addWidget(control, r++, 1);
    }
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(r, 1);
    return page;
}

QWidget* TOptionSetForm::BuildCdRomTab()
{
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    cbCDList = PickList(page, "cbCDList", {});
    grid->addWidget(Caption(QStringLiteral("CD-ROM drive:"), page, cbCDList), 0, 0);
    grid->addWidget(cbCDList, 0, 1);
    ckbCDDb =
        Named(new QCheckBox(QStringLiteral("Get CD information from CD DB"), page), "ckbCDDb");
    ckbCDDb->setVisible(false);
    grid->addWidget(ckbCDDb, 1, 0, 1, 2);
    // Real drives only: a disc image is read exactly without them.
    cbParanoia = PickList(page, "cbParanoia", TOptionSetLogic::ParanoiaItems());
    grid->addWidget(Caption(QStringLiteral("Secure reading:"), page, cbParanoia), 2, 0);
    grid->addWidget(cbParanoia, 2, 1);
    seReadOffset = Named(new QSpinBox(page), "seReadOffset");
    seReadOffset->setRange(-kMaxReadOffset, kMaxReadOffset);
    seReadOffset->setSuffix(QStringLiteral(" samples"));
    grid->addWidget(Caption(QStringLiteral("Drive read offset:"), page, seReadOffset), 3, 0);
    grid->addWidget(seReadOffset, 3, 1);
    ckbAccurateRip =
        Named(new QCheckBox(QStringLiteral("Verify rips with the AccurateRip database"), page),
              "ckbAccurateRip");
    grid->addWidget(ckbAccurateRip, 4, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(5, 1);
    return page;
}

TOptionFormValues TOptionSetForm::Values() const
{
    TOptionFormValues v;
    v.OutputDir = editOutputDir->text();
    v.DeleteWav = ckbKeepWav->isChecked();
    v.OutputFormat = cbOutputFormat->currentIndex();
    v.Normalize = ckNormalize->isChecked();
    v.NormalizePercent = SpinEdit1->value();
    v.ParallelEncoders = seEncoders->value();
    v.EnableRipTime = cbRipTime->isChecked();
    v.RipTime = eRipTime->text();
    v.SelectVBR = ckbSelectVBR->isChecked();
    v.VBRHead = ckbVBRHead->isChecked();
    v.BitRate = cbBitRate->currentText();
    v.MaxBitRate = cbMaxBitRate->currentText();
    v.VBRQuality = cbVBRQuality->currentIndex();
    v.MpegQuality = cbMpegQuality->currentIndex();
    v.StereoMode = cbStereoMode->currentIndex();
    v.UseCompress = cbUseCompress->isChecked();
    v.CompressPosition = tbCompression->value();
    v.OggNomBit = cbOggNomBit->currentIndex();
    v.OggMaxBit = cbOggMaxBit->currentIndex();
    v.OggMinBit = cbOggMinBit->currentIndex();
    v.WMABitrate = cbWMABitrate->currentIndex();
    v.UseID3 = cbUseID3->isChecked();
    v.Artist = ID3artist->text();
    v.Album = ID3album->text();
    v.Comment = ID3comment->text();
    v.Year = ID3year->text();
    v.Genre = ID3genre->currentIndex();
    v.CDListCount = cbCDList->count();
    v.CDIndex = v.CDListCount > 0 ? cbCDList->currentIndex() : pendingCDIndex_;
    v.CDDb = ckbCDDb->isChecked();
    v.Paranoia = cbParanoia->currentIndex();
    v.ReadOffset = seReadOffset->value();
    v.AccurateRip = ckbAccurateRip->isChecked();
    return v;
}

void TOptionSetForm::ShowValues(const TOptionFormValues& v)
{
    editOutputDir->setText(v.OutputDir);
    ckbKeepWav->setChecked(v.DeleteWav);
    cbOutputFormat->setCurrentIndex(v.OutputFormat);
    ckNormalize->setChecked(v.Normalize);
    SpinEdit1->setValue(v.NormalizePercent);
    seEncoders->setValue(v.ParallelEncoders);
    cbRipTime->setChecked(v.EnableRipTime);
    eRipTime->setText(v.RipTime);
    ckbSelectVBR->setChecked(v.SelectVBR);
    ckbVBRHead->setChecked(v.VBRHead);
    cbBitRate->setEditText(v.BitRate);
    cbMaxBitRate->setEditText(v.MaxBitRate);
    cbVBRQuality->setCurrentIndex(v.VBRQuality);
    cbMpegQuality->setCurrentIndex(v.MpegQuality);
    cbStereoMode->setCurrentIndex(v.StereoMode);
    cbUseCompress->setChecked(v.UseCompress);
    tbCompression->setValue(v.CompressPosition);
    cbOggNomBit->setCurrentIndex(v.OggNomBit);
    cbOggMaxBit->setCurrentIndex(v.OggMaxBit);
    cbOggMinBit->setCurrentIndex(v.OggMinBit);
    cbWMABitrate->setCurrentIndex(v.WMABitrate);
    cbUseID3->setChecked(v.UseID3);
    ID3artist->SetFullText(v.Artist);
    ID3album->SetFullText(v.Album);
    ID3comment->SetFullText(v.Comment);
    ID3year->SetFullText(v.Year);
    ID3genre->setCurrentIndex(v.Genre);
    if (cbCDList->count() > 0)
        cbCDList->setCurrentIndex(v.CDIndex);
    else
        pendingCDIndex_ = v.CDIndex;
    ckbCDDb->setChecked(v.CDDb);
    cbParanoia->setCurrentIndex(v.Paranoia);
    seReadOffset->setValue(v.ReadOffset);
    ckbAccurateRip->setChecked(v.AccurateRip);
    UpdateEnabling();
}

void TOptionSetForm::UpdateEnabling()
{
    const TOptionEnabling e = TOptionSetLogic::Enabling(Values());
    SpinEdit1->setEnabled(e.NormalizePercent);
    eRipTime->setEnabled(e.RipTime);
    ckbVBRHead->setEnabled(e.VBRHead);
    cbMaxBitRate->setEnabled(e.MaxBitRate);
    cbVBRQuality->setEnabled(e.VBRQuality);
}

void TOptionSetForm::TabShown(int index)
{
    if (index != tabCdRom)
        return;
    // The drives are listed afresh each time the tab is shown: an image may have come or gone.
    TOptionFormValues v = Values();
    const QStringList names = TOptionSetLogic::DriveNames();
    TOptionSetLogic::DrivesListed(v, int(names.size()));
    const QSignalBlocker block(cbCDList);
    cbCDList->clear();
    cbCDList->addItems(names);
    cbCDList->setCurrentIndex(v.CDIndex);
}

void TOptionSetForm::btBrowserClick()
{
    FileDialogRequest request;
    request.Kind = FileDialogKind::Folder;
    request.Title = TOptionSetLogic::BrowseTitle();
    request.Directory = ProgramDir();
    const QStringList picked = FileDialogs().Pick(request);
    if (!picked.isEmpty())
        editOutputDir->setText(picked.first());
}

void TOptionSetForm::btOKClick()
{
    TLibraryOptionValues library;
    pageFlacOpus->Save(library);
    pageNames->Save(library);
    // A pattern that cannot name a file inside the output folder is refused before anything
    // is stored.
    const QString refused = TLibraryOptionsLogic::Check(library);
    if (!refused.isEmpty()) {
        ShowError(refused);
        if (PageControl1->currentWidget() == pageNames)
            pageNames->cbNamePattern->setFocus();
        return;
    }
    const TOptionProblem problem = logic_.Accept(Values(), OptionsSetting(), host_);
    if (!problem) {
        TLibraryOptionsLogic::Store(library, OptionsSetting());
        accept();
        return;
    }
    if (PageControl1->currentIndex() != problem.Tab)
        return;
    switch (problem.Control) {
    case TOptionProblem::OutputDir:
        editOutputDir->setFocus();
        break;
    case TOptionProblem::RipTime:
        eRipTime->setFocus();
        break;
    case TOptionProblem::BitRate:
        cbBitRate->setFocus();
        break;
    case TOptionProblem::MaxBitRate:
        cbMaxBitRate->setFocus();
        break;
    case TOptionProblem::None:
        break;
    }
}
