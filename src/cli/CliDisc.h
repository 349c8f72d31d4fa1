#pragma once

#include <memory>

#include <QString>

#include "platform/cdaccess/CdAccess.h"

/// A disc opened for the command line: a drive of the drive list, or one image given by its
/// path (opened under the same rules as the images of the discs folder).
class TCliDisc {
public:
    TCliDisc() = default;
    ~TCliDisc();
    TCliDisc(const TCliDisc&) = delete;
    TCliDisc& operator=(const TCliDisc&) = delete;

    /// Opens what device names; false with one line naming what was wrong in error.
    bool Open(const QString& device, QString& error);

    int Handle() const { return handle_; }
    /// The table of contents in MSF form.
    const TocRecord& Toc() const { return toc_; }
    QString Name() const { return name_; }
    QString Path() const { return path_; }
    /// The key cdinfo.dat files its names under.
    QString Key() const { return key_; }
    bool IsAudio(int track) const;

private:
    std::unique_ptr<ICdAccess> imageAccess_; ///< installed while an image given by path is open
    int handle_ = 0;
    TocRecord toc_;
    QString name_;
    QString path_;
    QString key_;
};

/// The drive list as "drives" prints it.
QString DriveListText();

/// What "info" prints about an open disc: its table of contents, ids and stored names. The
/// names are those of the global record's CDInfo.
QString DiscInfoText(const TCliDisc& disc);

/// The name of a listed drive: "Image " + base name for an image, vendor and model otherwise.
QString DriveNameOf(const DriveEntry& drive);

/// Fills the global record's CDInfo with the names cdinfo.dat holds for the disc (defaults for
/// titles nobody gave), and its track total.
void LoadDiscNames(const TCliDisc& disc);
