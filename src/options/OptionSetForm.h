#pragma once

#include <QDialog>

#include "options/OptionSetLogic.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class TLimitedLineEdit;
class TOptionPageFlacOpus;
class TOptionPageNames;

/// The options dialog: six tabs over the settings record, thin over TOptionSetLogic. "OK"
/// stores into OptionsSetting() and, when the drive choice changed, opens the chosen drive for
/// the host; "Cancel" stores nothing.
class TOptionSetForm : public QDialog {
    Q_OBJECT
public:
    /// host: the window owning the open drive (may be null: no drive switch); defaults: the
    /// settings' defaults, for the Default buttons.
    TOptionSetForm(QWidget* parent, IDriveHost* host, const TOptionsSetting& defaults);
    ~TOptionSetForm() override;

    /// What the controls hold now.
    TOptionFormValues Values() const;

    // Controls, named as the design names them (tests drive them directly).
    QTabWidget* PageControl1 = nullptr;
    // "Output"
    QLineEdit* editOutputDir = nullptr;
    QPushButton* btBrowser = nullptr;
    QCheckBox* ckbKeepWav = nullptr;
    QComboBox* cbOutputFormat = nullptr;
    QCheckBox* ckNormalize = nullptr;
    QSpinBox* SpinEdit1 = nullptr;
    QGroupBox* gbRipTime = nullptr;
    QCheckBox* cbRipTime = nullptr;
    QLineEdit* eRipTime = nullptr;
    // "LAME"
    QCheckBox* ckbSelectVBR = nullptr;
    QCheckBox* ckbVBRHead = nullptr;
    QComboBox* cbBitRate = nullptr;
    QComboBox* cbMaxBitRate = nullptr;
    QComboBox* cbVBRQuality = nullptr;
    QComboBox* cbMpegQuality = nullptr;
    QComboBox* cbStereoMode = nullptr;
    QPushButton* bDefault = nullptr;
    // "OGG"
    QCheckBox* cbUseCompress = nullptr;
    QSlider* tbCompression = nullptr;
    QComboBox* cbOggNomBit = nullptr;
    QComboBox* cbOggMaxBit = nullptr;
    QComboBox* cbOggMinBit = nullptr;
    // "WMA"
    QComboBox* cbWMABitrate = nullptr;
    QPushButton* bWMADefault = nullptr;
    // "ID3 Tag"
    QCheckBox* cbUseID3 = nullptr;
    TLimitedLineEdit* ID3artist = nullptr;
    TLimitedLineEdit* ID3album = nullptr;
    TLimitedLineEdit* ID3comment = nullptr;
    TLimitedLineEdit* ID3year = nullptr;
    QComboBox* ID3genre = nullptr;
    // "CD-ROM"
    QComboBox* cbCDList = nullptr;
    QCheckBox* ckbCDDb = nullptr;
    // Beyond the design: secure reading and verification.
    QComboBox* cbParanoia = nullptr;
    QSpinBox* seReadOffset = nullptr;
    QSpinBox* seEncoders = nullptr;
    QCheckBox* ckbAccurateRip = nullptr;
    // Beyond the design: FLAC and Opus; file names and tags.
    TOptionPageFlacOpus* pageFlacOpus = nullptr;
    TOptionPageNames* pageNames = nullptr;

    QPushButton* btOK = nullptr;
    QPushButton* btCancel = nullptr;

    /// "OK": closes with "accepted" once the values are stored.
    void btOKClick();
    /// "...": the folder picker.
    void btBrowserClick();

private:
    QWidget* BuildOutputTab();
    QWidget* BuildLameTab();
    QWidget* BuildOggTab();
    QWidget* BuildWmaTab();
    QWidget* BuildId3Tab();
    QWidget* BuildCdRomTab();

    void ShowValues(const TOptionFormValues& v);
    void UpdateEnabling();
    void TabShown(int index);

    TOptionSetLogic logic_;
    IDriveHost* host_;
    /// The drive list's selection until the list is first filled.
    int pendingCDIndex_ = 0;
};
