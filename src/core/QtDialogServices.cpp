#include "core/QtDialogServices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QIcon>
#include <QMessageBox>

namespace {

QMessageBox::StandardButton ToQt(MbAnswer a)
{
    switch (a) {
    case MbAnswer::Ok:
        return QMessageBox::Ok;
    case MbAnswer::Cancel:
        return QMessageBox::Cancel;
    case MbAnswer::Yes:
        return QMessageBox::Yes;
    case MbAnswer::No:
        return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

} // namespace

MbAnswer QtMessageBoxService::Show(const MessageBoxRequest& r)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(r.Caption);
    // Texts carry titles and file names from outside: never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(r.Text);
    if (!r.Detail.isEmpty())
        box.setDetailedText(r.Detail);
    switch (r.Icon) {
    case MbIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MbIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MbIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MbIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case MbIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (r.Buttons) {
    case MbButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MbButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MbButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MbButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    for (const auto& [answer, text] : r.ButtonTexts) {
        if (QAbstractButton* button = box.button(ToQt(answer))) {
            button->setText(text); // the standard icon would say Yes or No
            button->setIcon(QIcon());
        }
    }
    box.setDefaultButton(ToQt(r.DefaultButton));
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MbAnswer::Yes;
    case QMessageBox::No:
        return MbAnswer::No;
    case QMessageBox::Cancel:
        return MbAnswer::Cancel;
    default:
        return MbAnswer::Ok;
    }
}

QStringList QtFileDialogService::Pick(const FileDialogRequest& r)
{
    QWidget* parent = QApplication::activeWindow();
    switch (r.Kind) {
    case FileDialogKind::OpenFiles:
        return QFileDialog::getOpenFileNames(parent, r.Title, r.Directory,
                                             QtFilterFromWindows(r.Filter));
    case FileDialogKind::OpenFile:
    case FileDialogKind::SaveFile: {
        QString start = r.Directory;
        if (!r.FileName.isEmpty())
            start =
                r.Directory.isEmpty() ? r.FileName : r.Directory + QLatin1Char('/') + r.FileName;
        if (r.Kind == FileDialogKind::SaveFile && r.DefaultSuffix.isEmpty() &&
            !r.CallerConfirmsOverwrite) {
            const QString f =
                QFileDialog::getSaveFileName(parent, r.Title, start, QtFilterFromWindows(r.Filter));
            return f.isEmpty() ? QStringList() : QStringList{f};
        }
        QFileDialog dialog(parent, r.Title, start, QtFilterFromWindows(r.Filter));
        // A typed name that does not exist reaches the caller, which says so itself.
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setAcceptMode(r.Kind == FileDialogKind::OpenFile ? QFileDialog::AcceptOpen
                                                                : QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(r.DefaultSuffix);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, r.CallerConfirmsOverwrite);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return {dialog.selectedFiles().first()};
    }
    case FileDialogKind::Folder: {
        const QString d = QFileDialog::getExistingDirectory(parent, r.Title, r.Directory);
        return d.isEmpty() ? QStringList() : QStringList{d};
    }
    }
    return {};
}
