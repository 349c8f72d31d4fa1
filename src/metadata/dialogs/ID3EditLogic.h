#pragma once

#include <QString>

#include "metadata/id3tag.h"

/// What the tag editor's controls hold. Genre is a position in the genre list (-1: none);
/// Track is the track edit's text.
struct TID3EditFields {
    QString Title;
    QString Artist;
    QString Album;
    QString Year;
    QString Comment;
    int Genre = -1;
    QString Track;

    /// The controls after a file without a readable tag: empty texts, no genre, track "0".
    static TID3EditFields Cleared();
};

/// The tag editor's commands without widgets: it owns the tag, picks files through the
/// file-dialog service and reports through the message-box service. UI thread only.
class TID3EditLogic {
public:
    /// "ID3 Tag Edit", then ": " and the chosen file once there is one.
    QString Caption() const;
    /// Save and Remove are offered once a file was loaded or saved as.
    bool FileChosen() const { return !file_.isEmpty(); }
    /// The file the caption names: later saves and removals go to it.
    const QString& File() const { return file_; }
    const Tid3tag& Tag() const { return tag_; }

    /// "&Load Tag...": false when no file was picked; otherwise fields holds the file's tag,
    /// or the cleared controls when it has none.
    bool Load(TID3EditFields& fields);
    /// "&Save Tag": writes the fields into the chosen file; false (after the message) when
    /// that fails.
    bool Save(const TID3EditFields& fields);
    /// "&Save As...": writes the fields into a picked file, which becomes the chosen one.
    bool SaveAs(const TID3EditFields& fields);
    /// "&Remove Tag": asks, then cuts the tag off the chosen file and clears fields. False when
    /// the user said No.
    bool Remove(TID3EditFields& fields);

    /// The file filter of the picker.
    static QString Filter();

private:
    QString PickFile();
    void CopyToTag(const TID3EditFields& fields);
    bool Write(const QString& file);

    Tid3tag tag_;
    QString file_;
};
