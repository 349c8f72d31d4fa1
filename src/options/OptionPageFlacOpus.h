#pragma once

#include <QWidget>

#include "options/LibraryOptionsLogic.h"

class QCheckBox;
class QSpinBox;

/// The options dialog's page of the in-process encoders: FLAC's compression level and
/// verification, Opus's bit rate.
class TOptionPageFlacOpus : public QWidget {
    Q_OBJECT
public:
    explicit TOptionPageFlacOpus(QWidget* parent = nullptr);

    void Load(const TLibraryOptionValues& values);
    /// Puts what the controls hold into values (the fields of this page only).
    void Save(TLibraryOptionValues& values) const;

    QSpinBox* sbFlacLevel = nullptr;
    QCheckBox* ckFlacVerify = nullptr;
    QSpinBox* sbOpusBitrate = nullptr;
};
