#pragma once

#include <QByteArray>
#include <QString>

/// Where a rip leaves the disc's front cover: "cover.jpg" or "cover.png" (by the image's
/// content) in the folder of the first track written, once per job. A cover the user keeps
/// there ("cover.*" in any case, even a link) is theirs and stays; the new file is written
/// under a temporary name and linked into place only if the name is still free, so nothing is
/// ever replaced or written through. UI thread only.
class TRipCover {
public:
    /// image: the disc's cover (JPEG or PNG bytes); empty or anything else: no cover.
    explicit TRipCover(const QByteArray& image = {});

    /// The track at trackFile is written: the first call places the cover beside it, later
    /// ones do nothing. Returns why the cover could not be written, empty when it was, when a
    /// cover is kept there or when there is none.
    QString PlaceBeside(const QString& trackFile);

private:
    QByteArray image_;
    QString name_; ///< "cover.jpg" or "cover.png"; empty: no cover
    bool placed_ = false;
};

/// Writes data as folder/name, never replacing or following anything already at name.
/// Returns 0 on success, EEXIST when something is there, or the errno of the failure.
int WriteNewFileAtomically(const QString& folder, const QString& name, const QByteArray& data);
