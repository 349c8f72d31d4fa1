#pragma once

#include <QDialog>

/// The About box: product name, version line, the maker's contact and web address.
class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);
};
