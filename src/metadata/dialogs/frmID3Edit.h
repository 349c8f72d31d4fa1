#pragma once

#include <QDialog>

#include "metadata/dialogs/ID3EditLogic.h"

class QAction;
class QComboBox;
class QLineEdit;
class QPushButton;

/// The tag editor: the ID3v1 tag of a picked MP3 file, thin over TID3EditLogic.
class TfrmID3Edit : public QDialog {
    Q_OBJECT
public:
    explicit TfrmID3Edit(QWidget* parent = nullptr);
    ~TfrmID3Edit() override;

    const TID3EditLogic& Logic() const { return logic_; }
    TID3EditFields Fields() const;

    QLineEdit* ID3title = nullptr;
    QLineEdit* ID3artist = nullptr;
    QLineEdit* ID3album = nullptr;
    QLineEdit* ID3year = nullptr;
    QComboBox* ID3genre = nullptr;
    QLineEdit* ID3comment = nullptr;
    QLineEdit* ID3track = nullptr;

    QAction* aSaveTag = nullptr;
    QAction* aRemoveTag = nullptr;
    QPushButton* btLoad = nullptr;
    QPushButton* btSave = nullptr;
    QPushButton* btRemove = nullptr;
    QPushButton* btSaveAs = nullptr;
    QPushButton* btClose = nullptr;

    void btLoadClick();
    void aSaveTagExecute();
    void btSaveAsClick();
    void aRemoveTagExecute();

private:
    void ShowFields(const TID3EditFields& fields);
    void UpdateState();

    TID3EditLogic logic_;
};
