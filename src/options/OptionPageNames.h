#pragma once

#include <functional>

#include <QWidget>

#include "options/LibraryOptionsLogic.h"

class QCheckBox;
class QComboBox;
class QLabel;

/// The options dialog's page of file names and tags: the tag switch, the name pattern with a
/// list of common ones, and an example of where a rip puts a track of the current disc, kept
/// up to date as the pattern is typed and whenever the page is shown (the folder, the format
/// and the disc's names are edited on other pages).
class TOptionPageNames : public QWidget {
    Q_OBJECT
public:
    /// formValues: what the dialog's other pages hold now.
    TOptionPageNames(std::function<TOptionFormValues()> formValues, TExampleTrack track,
                     QWidget* parent = nullptr);

    void Load(const TLibraryOptionValues& values);
    /// Puts what the controls hold into values (the fields of this page only).
    void Save(TLibraryOptionValues& values) const;
    /// Shows the example for what the dialog holds now.
    void UpdateExample();

    QCheckBox* ckWriteTags = nullptr;
    QComboBox* cbNamePattern = nullptr;
    QLabel* lNameExample = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::function<TOptionFormValues()> formValues_;
    TExampleTrack track_;
};
