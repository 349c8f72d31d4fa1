#include "metadata/dialogs/ID3EditLogic.h"

#include "core/FileDialogService.h"
#include "core/MessageBoxService.h"
#include "core/TextUtil.h"
#include "metadata/Genres.h"

TID3EditFields TID3EditFields::Cleared()
{
    TID3EditFields f;
    f.Track = QStringLiteral("0");
    return f;
}

QString TID3EditLogic::Caption() const
{
    const QString caption = QStringLiteral("ID3 Tag Edit");
    return file_.isEmpty() ? caption : caption + QStringLiteral(": ") + file_;
}

QString TID3EditLogic::Filter()
{
    return QStringLiteral("Index files (*.mp3)|*.mp3");
}

QString TID3EditLogic::PickFile()
{
    FileDialogRequest request;
    request.Kind = FileDialogKind::OpenFiles;
    request.Filter = Filter();
    const QStringList picked = FileDialogs().Pick(request);
    return picked.isEmpty() ? QString() : picked.first();
}

bool TID3EditLogic::Load(TID3EditFields& fields)
{
    const QString file = PickFile();
    if (file.isEmpty())
        return false;
    if (tag_.ReadTag(file) < Tid3tag::ErrOpen) {
        fields.Title = tag_.Title();
        fields.Artist = tag_.Artist();
        fields.Album = tag_.Album();
        fields.Year = tag_.Year();
        fields.Comment = tag_.Comment();
        fields.Genre = ByteToGenre(tag_.Genre);
        fields.Track = QString::number(tag_.Track());
    } else {
        fields = TID3EditFields::Cleared();
    }
    file_ = file;
    return true;
}

void TID3EditLogic::CopyToTag(const TID3EditFields& f)
{
    tag_.SetTitle(f.Title);
    tag_.SetArtist(f.Artist);
    tag_.SetAlbum(f.Album);
    tag_.SetYear(f.Year);
    tag_.SetComment(f.Comment);
    tag_.Genre = f.Genre < 0 ? NoGenreByte : GenreToByte(f.Genre);
    // An empty track edit keeps the track the tag had.
    int32_t track = 0;
    if (!f.Track.isEmpty() && ParseDecimal(f.Track, track) && track >= 0 && track <= 255)
        tag_.SetTrack(static_cast<uint8_t>(track));
}

bool TID3EditLogic::Write(const QString& file)
{
    if (tag_.WriteTag(file) < Tid3tag::ErrOpen)
        return true;
    ShowInformation(QStringLiteral("Could not save Tag!"));
    return false;
}

bool TID3EditLogic::Save(const TID3EditFields& fields)
{
    if (file_.isEmpty())
        return false;
    CopyToTag(fields);
    // The caption's file, not the tag's last file: after a file that could not be opened they
    // differ, and the tag must not land in the file shown before.
    return Write(file_);
}

bool TID3EditLogic::SaveAs(const TID3EditFields& fields)
{
    const QString file = PickFile();
    if (file.isEmpty())
        return false;
    CopyToTag(fields);
    if (!Write(file))
        return false;
    file_ = file;
    return true;
}

bool TID3EditLogic::Remove(TID3EditFields& fields)
{
    if (file_.isEmpty())
        return false;
    if (AskYesNo(QStringLiteral("Do you want to remove these tags?"), MbIcon::Question,
                 MbAnswer::No) != MbAnswer::Yes)
        return false;
    // Same guard as Save: only the file the caption names loses its tag.
    if (tag_.TagFile() == file_)
        tag_.RemoveTag();
    fields = TID3EditFields::Cleared();
    return true;
}
