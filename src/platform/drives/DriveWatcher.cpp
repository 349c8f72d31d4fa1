#include "platform/drives/DriveWatcher.h"

#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>

#include <libudev.h>

#include "core/AppPaths.h"
#include "core/ErrorHandler.h"
#include "platform/cdaccess/CdAccess.h"
#include "platform/cdaccess/DriveCatalog.h"

namespace {

constexpr auto kPollInterval = std::chrono::seconds(2);
// Copying an image takes a moment: look at the folder once things have settled.
constexpr auto kRescanDelay = std::chrono::milliseconds(250);

bool PropertyIs(struct udev_device* dev, const char* key, const char* value)
{
    const char* v = udev_device_get_property_value(dev, key);
    return v != nullptr && std::strcmp(v, value) == 0;
}

} // namespace

DriveWatcher::DriveWatcher(QObject* parent, const QString& discsDir)
    : QObject(parent),
      discsDir_(discsDir.isEmpty() ? ProgramDir() + QStringLiteral("discs") : discsDir)
{
    folderWatcher_ = new QFileSystemWatcher(this);
    connect(folderWatcher_, &QFileSystemWatcher::directoryChanged, this,
            [this] { rescanDelay_.start(); });
    rescanDelay_.setSingleShot(true);
    rescanDelay_.setInterval(kRescanDelay);
    connect(&rescanDelay_, &QTimer::timeout, this, [this] {
        GuardedCall([this] {
            WatchFolder();
            RescanImages(true);
        });
    });
    WatchFolder();
    RescanImages(false);

    pollTimer_.setInterval(kPollInterval);
    connect(&pollTimer_, &QTimer::timeout, this, [this] { GuardedCall([this] { Poll(); }); });

    udev_ = udev_new();
    if (udev_ != nullptr)
        monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ != nullptr &&
        udev_monitor_filter_add_match_subsystem_devtype(monitor_, "block", "disk") >= 0 &&
        udev_monitor_enable_receiving(monitor_) >= 0) {
        udevNotifier_ =
            new QSocketNotifier(udev_monitor_get_fd(monitor_), QSocketNotifier::Read, this);
        connect(udevNotifier_, &QSocketNotifier::activated, this,
                [this] { GuardedCall([this] { ReadUdev(); }); });
    } else if (monitor_ != nullptr) {
        udev_monitor_unref(monitor_);
        monitor_ = nullptr;
    }
}

DriveWatcher::~DriveWatcher()
{
    delete udevNotifier_;
    if (monitor_ != nullptr)
        udev_monitor_unref(monitor_);
    if (udev_ != nullptr)
        udev_unref(udev_);
}

void DriveWatcher::SetDriveHandle(int handle)
{
    handle_ = handle;
    if (handle_ != 0)
        pollTimer_.start();
    else
        pollTimer_.stop();
}

void DriveWatcher::SetPollInterval(std::chrono::milliseconds interval)
{
    pollTimer_.setInterval(interval);
}

void DriveWatcher::Emit(MediaStateTracker::Change change)
{
    switch (change) {
    case MediaStateTracker::Change::None:
        break;
    case MediaStateTracker::Change::Arrived:
        Q_EMIT VolumeArrived();
        break;
    case MediaStateTracker::Change::Removed:
        Q_EMIT VolumeRemoved();
        break;
    case MediaStateTracker::Change::Replaced:
        Q_EMIT VolumeRemoved();
        Q_EMIT VolumeArrived();
        break;
    }
}

void DriveWatcher::WatchFolder()
{
    // The folder itself may come and go, so its parent is watched too.
    const QString parent = QFileInfo(discsDir_).absolutePath();
    const QStringList watched = folderWatcher_->directories();
    for (const QString& dir : {parent, discsDir_}) {
        if (!watched.contains(dir) && QFileInfo(dir).isDir())
            folderWatcher_->addPath(dir);
    }
}

void DriveWatcher::RescanImages(bool emitChanges)
{
    const std::string dir = QFile::encodeName(discsDir_).toStdString();
    const auto names = ListImageFiles(dir);
    const std::set<std::string> now(names.begin(), names.end());
    if (emitChanges) {
        for (const std::string& old : images_) {
            if (!now.count(old))
                Q_EMIT VolumeRemoved();
        }
        for (const std::string& name : now) {
            if (!images_.count(name))
                Q_EMIT VolumeArrived();
        }
    }
    images_ = now;
}

void DriveWatcher::OnBlockDeviceEvent(const std::string& action, const std::string& devnode,
                                      bool isCdrom, bool mediaPresent)
{
    if (!isCdrom || devnode.empty())
        return;
    if (action == "change")
        Emit(tracker_.Update(devnode, mediaPresent, true));
    else if (action == "add")
        Emit(tracker_.Update(devnode, mediaPresent, mediaPresent));
    else if (action == "remove")
        Emit(tracker_.Update(devnode, false, false));
}

void DriveWatcher::ReadUdev()
{
    // Drain everything queued; the notifier fires once per batch.
    while (struct udev_device* dev = udev_monitor_receive_device(monitor_)) {
        const char* action = udev_device_get_action(dev);
        const char* node = udev_device_get_devnode(dev);
        if (action != nullptr && node != nullptr)
            OnBlockDeviceEvent(action, node, PropertyIs(dev, "ID_CDROM", "1"),
                               PropertyIs(dev, "ID_CDROM_MEDIA", "1"));
        udev_device_unref(dev);
    }
}

void DriveWatcher::Poll()
{
    if (handle_ == 0)
        return;
    MediaPoll poll;
    if (CdAccess().PollMedia(handle_, poll) != 1)
        return;
    // Keyed by device node like the udev reports, so one change is not reported twice.
    Emit(tracker_.Update(poll.Device, poll.Present, poll.Changed));
}
