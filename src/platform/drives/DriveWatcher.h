#pragma once

#include <chrono>
#include <set>
#include <string>

#include <QObject>
#include <QString>
#include <QTimer>

#include "platform/drives/MediaStateTracker.h"

class QFileSystemWatcher;
class QSocketNotifier;
struct udev;
struct udev_monitor;

/// Tells the UI thread when a disc arrives in or leaves a drive. Real drives: a udev monitor
/// on block devices, plus a poll every 2 s asking the open drive whether its medium changed
/// (for drives the kernel does not poll). Images: a watcher on the discs folder, where an image
/// appearing is an arrival and one disappearing a removal. Lives on the UI thread.
class DriveWatcher : public QObject {
    Q_OBJECT
public:
    /// discsDir: the image folder; empty means ProgramDir() + "discs".
    explicit DriveWatcher(QObject* parent = nullptr, const QString& discsDir = QString());
    ~DriveWatcher() override;

    /// The handle of the open drive for the fallback poll (0: none).
    void SetDriveHandle(int handle);
    void SetPollInterval(std::chrono::milliseconds interval);

    /// A udev event of a block device: its action ("change", "add", "remove"), devnode,
    /// whether udev marks it a CD-ROM drive, and whether it holds a medium now. A drive plugged
    /// in with a disc is an arrival, one unplugged with a disc a removal. Public so tests can
    /// feed events.
    void OnBlockDeviceEvent(const std::string& action, const std::string& devnode, bool isCdrom,
                            bool mediaPresent);

    /// Whether the udev monitor could be set up (not in every container).
    bool UdevActive() const { return monitor_ != nullptr; }

Q_SIGNALS:
    void VolumeArrived();
    void VolumeRemoved();

private:
    void Emit(MediaStateTracker::Change change);
    void WatchFolder();
    void RescanImages(bool emitChanges);
    void ReadUdev();
    void Poll();

    QString discsDir_;
    QFileSystemWatcher* folderWatcher_ = nullptr;
    QTimer rescanDelay_;
    QTimer pollTimer_;
    std::set<std::string> images_;
    MediaStateTracker tracker_;
    int handle_ = 0;
    struct udev* udev_ = nullptr;
    struct udev_monitor* monitor_ = nullptr;
    QSocketNotifier* udevNotifier_ = nullptr;
};
