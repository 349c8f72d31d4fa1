#pragma once

#include "core/FileDialogService.h"
#include "core/MessageBoxService.h"

/// Production message boxes: QMessageBox parented to the active window.
class QtMessageBoxService : public IMessageBoxService {
public:
    MbAnswer Show(const MessageBoxRequest& request) override;
};

/// Production pickers: QFileDialog.
class QtFileDialogService : public IFileDialogService {
public:
    QStringList Pick(const FileDialogRequest& request) override;
};
