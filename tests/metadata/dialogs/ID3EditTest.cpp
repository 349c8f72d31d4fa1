#include <sys/stat.h>

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "core/FileDialogService.h"
#include "core/MessageBoxService.h"
#include "metadata/dialogs/ID3EditLogic.h"
#include "metadata/dialogs/frmID3Edit.h"
#include "metadata/id3tag.h"
#include "support/TestSupport.h"

namespace {

class ID3Edit : public ::testing::Test {
protected:
    /// An MP3 stand-in: size bytes of audio, optionally followed by a tag.
    QString MakeFile(const char* name, int size, const Tid3tag* tag = nullptr)
    {
        QByteArray data(size, '\x55');
        if (tag)
            data += tag->BuildBlock();
        const QString path = dir.File(QString::fromLatin1(name));
        WriteWholeFile(path, data);
        return path;
    }
    static Tid3tag SampleTag()
    {
        Tid3tag t;
        t.SetTitle(QStringLiteral("Morning"));
        t.SetArtist(QStringLiteral("The Band"));
        t.SetAlbum(QStringLiteral("Days"));
        t.SetYear(QStringLiteral("2004"));
        t.SetComment(QStringLiteral("ripped"));
        t.SetTrack(7);
        t.Genre = 12; // "Other"
        return t;
    }
    static qint64 Size(const QString& path) { return QFileInfo(path).size(); }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    ScriptedFileDialogService pickers;
};

} // namespace

TEST_F(ID3Edit, OpensWithNothingToSaveOrRemove)
{
    TfrmID3Edit f;
    EXPECT_EQ(f.windowTitle(), QStringLiteral("ID3 Tag Edit"));
    EXPECT_FALSE(f.aSaveTag->isEnabled());
    EXPECT_FALSE(f.aRemoveTag->isEnabled());
    EXPECT_FALSE(f.btSave->isEnabled());
    EXPECT_FALSE(f.btRemove->isEnabled());
    EXPECT_EQ(f.ID3genre->count(), 149);
    EXPECT_EQ(f.ID3title->maxLength(), 30);
    EXPECT_EQ(f.ID3year->maxLength(), 4);
    EXPECT_EQ(f.ID3track->maxLength(), 2);
    // Cancelling the picker changes nothing.
    pickers.PlanAnswer({});
    f.btLoad->click();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("ID3 Tag Edit"));
    EXPECT_FALSE(f.btSave->isEnabled());
    ASSERT_EQ(pickers.Requests().size(), 1u);
    EXPECT_EQ(pickers.Requests()[0].Filter, QStringLiteral("Index files (*.mp3)|*.mp3"));
}

TEST_F(ID3Edit, TrackEditTakesDigitsOnly)
{
    TfrmID3Edit f;
    f.show();
    QTest::keyClicks(f.ID3track, QStringLiteral("a1-b2 3"));
    EXPECT_EQ(f.ID3track->text(), QStringLiteral("12"));
}

TEST_F(ID3Edit, LoadingAFileWithoutATagClearsAndSaveAppendsOnce)
{
    const QString plain = MakeFile("plain.mp3", 1000);
    TfrmID3Edit f;
    f.ID3title->setText(QStringLiteral("left over"));
    f.ID3genre->setCurrentIndex(5);
    pickers.PlanAnswer({plain});
    f.btLoad->click();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("ID3 Tag Edit: ") + plain);
    EXPECT_TRUE(f.btSave->isEnabled());
    EXPECT_TRUE(f.btRemove->isEnabled());
    EXPECT_TRUE(f.ID3title->text().isEmpty());
    EXPECT_EQ(f.ID3genre->currentIndex(), -1);
    EXPECT_EQ(f.ID3track->text(), QStringLiteral("0"));

    f.ID3title->setText(QStringLiteral("New title"));
    f.ID3genre->setCurrentIndex(f.ID3genre->findText(QStringLiteral("Blues")));
    f.ID3track->setText(QStringLiteral("3"));
    f.btSave->click();
    EXPECT_EQ(Size(plain), 1000 + 128);
    f.ID3title->setText(QStringLiteral("Newer title"));
    f.btSave->click();
    EXPECT_EQ(Size(plain), 1000 + 128);
    EXPECT_TRUE(boxes.Shown().empty());

    Tid3tag check;
    ASSERT_LT(check.ReadTag(plain), Tid3tag::ErrOpen);
    EXPECT_EQ(check.Title(), QStringLiteral("Newer title"));
    EXPECT_EQ(check.Genre, 0); // Blues
    EXPECT_EQ(check.Track(), 3);
}

TEST_F(ID3Edit, LoadShowsTheTagAndAnEmptyTrackKeepsIt)
{
    const Tid3tag sample = SampleTag();
    const QString tagged = MakeFile("tagged.mp3", 500, &sample);
    TfrmID3Edit f;
    pickers.PlanAnswer({tagged});
    f.btLoad->click();
    EXPECT_EQ(f.ID3title->text(), QStringLiteral("Morning"));
    EXPECT_EQ(f.ID3artist->text(), QStringLiteral("The Band"));
    EXPECT_EQ(f.ID3year->text(), QStringLiteral("2004"));
    EXPECT_EQ(f.ID3genre->currentText(), QStringLiteral("Other"));
    EXPECT_EQ(f.ID3track->text(), QStringLiteral("7"));

    f.ID3track->clear();
    f.ID3comment->setText(QStringLiteral("edited"));
    f.ID3genre->setCurrentIndex(0); // the empty entry
    f.btSave->click();
    Tid3tag check;
    ASSERT_LT(check.ReadTag(tagged), Tid3tag::ErrOpen);
    EXPECT_EQ(check.Track(), 7);
    EXPECT_TRUE(check.HasTrack());
    EXPECT_EQ(check.Comment(), QStringLiteral("edited"));
    EXPECT_EQ(check.Genre, 255);
    EXPECT_EQ(Size(tagged), 500 + 128);
}

TEST_F(ID3Edit, RemoveAsksFirst)
{
    const Tid3tag sample = SampleTag();
    const QString tagged = MakeFile("tagged.mp3", 300, &sample);
    TfrmID3Edit f;
    pickers.PlanAnswer({tagged});
    f.btLoad->click();

    boxes.PlanAnswer(MbAnswer::No);
    f.btRemove->click();
    ASSERT_EQ(boxes.Shown().size(), 1u);
    const MessageBoxRequest& q = boxes.Shown()[0];
    EXPECT_EQ(q.Text, QStringLiteral("Do you want to remove these tags?"));
    EXPECT_EQ(q.Caption, QStringLiteral("Platterly"));
    EXPECT_EQ(q.Icon, MbIcon::Question);
    EXPECT_EQ(q.Buttons, MbButtons::YesNo);
    EXPECT_EQ(q.DefaultButton, MbAnswer::No);
    EXPECT_EQ(Size(tagged), 300 + 128);
    EXPECT_EQ(f.ID3title->text(), QStringLiteral("Morning"));

    boxes.PlanAnswer(MbAnswer::Yes);
    f.btRemove->click();
    EXPECT_EQ(Size(tagged), 300);
    EXPECT_TRUE(f.ID3title->text().isEmpty());
    EXPECT_EQ(f.ID3track->text(), QStringLiteral("0"));
    EXPECT_EQ(f.windowTitle(), QStringLiteral("ID3 Tag Edit: ") + tagged);
}

TEST_F(ID3Edit, SaveAsCopiesTheTagToAnotherFile)
{
    const Tid3tag sample = SampleTag();
    const QString source = MakeFile("source.mp3", 400, &sample);
    const QString target = MakeFile("target.mp3", 200);
    TfrmID3Edit f;
    pickers.PlanAnswer({source});
    f.btLoad->click();
    pickers.PlanAnswer({target});
    f.btSaveAs->click();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("ID3 Tag Edit: ") + target);
    Tid3tag check;
    ASSERT_LT(check.ReadTag(target), Tid3tag::ErrOpen);
    EXPECT_EQ(check.Artist(), QStringLiteral("The Band"));
    EXPECT_EQ(check.Track(), 7);

    // Later saves go to the copy.
    f.ID3album->setText(QStringLiteral("Nights"));
    f.btSave->click();
    ASSERT_LT(check.ReadTag(target), Tid3tag::ErrOpen);
    EXPECT_EQ(check.Album(), QStringLiteral("Nights"));
    ASSERT_LT(check.ReadTag(source), Tid3tag::ErrOpen);
    EXPECT_EQ(check.Album(), QStringLiteral("Days"));

    // A name that does not exist cannot be saved as; the caption stays.
    pickers.PlanAnswer({dir.File(QStringLiteral("missing.mp3"))});
    f.btSaveAs->click();
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("Could not save Tag!")});
    EXPECT_EQ(boxes.Shown()[0].Icon, MbIcon::Information);
    EXPECT_EQ(f.windowTitle(), QStringLiteral("ID3 Tag Edit: ") + target);
    EXPECT_FALSE(QFile::exists(dir.File(QStringLiteral("missing.mp3"))));
}

TEST_F(ID3Edit, AFileThatCannotBeReadNeverRedirectsTheSaveToTheFileBefore)
{
    const Tid3tag sample = SampleTag();
    const QString first = MakeFile("first.mp3", 400, &sample);
    const QByteArray firstBytes = ReadWholeFile(first);
    TID3EditLogic logic;
    TID3EditFields fields;
    pickers.PlanAnswer({first});
    ASSERT_TRUE(logic.Load(fields));

    // The next pick is gone by the time it is read: the caption names it, the fields clear.
    const QString gone = dir.File(QStringLiteral("gone.mp3"));
    pickers.PlanAnswer({gone});
    ASSERT_TRUE(logic.Load(fields));
    EXPECT_EQ(logic.Caption(), QStringLiteral("ID3 Tag Edit: ") + gone);
    EXPECT_TRUE(logic.FileChosen());
    EXPECT_TRUE(fields.Title.isEmpty());

    fields.Title = QStringLiteral("Overwrite?");
    EXPECT_FALSE(logic.Save(fields));
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("Could not save Tag!")});
    boxes.PlanAnswer(MbAnswer::Yes);
    EXPECT_TRUE(logic.Remove(fields));
    EXPECT_EQ(ReadWholeFile(first), firstBytes);
    EXPECT_FALSE(QFile::exists(gone));
}

TEST_F(ID3Edit, ReadOnlyFileReportsTheFailedSave)
{
    const QString locked = MakeFile("locked.mp3", 256);
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0444), 0);
    TID3EditLogic logic;
    TID3EditFields fields;
    pickers.PlanAnswer({locked});
    ASSERT_TRUE(logic.Load(fields));
    fields.Title = QStringLiteral("x");
    EXPECT_FALSE(logic.Save(fields));
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("Could not save Tag!")});
    EXPECT_EQ(Size(locked), 256);
}

TEST_F(ID3Edit, FieldsAreNamedByTheirCaptions)
{
    TfrmID3Edit f;
    f.show();
    const std::pair<QWidget*, const char*> fields[] = {
        {f.ID3title, "Title"},   {f.ID3artist, "Artist"}, {f.ID3album, "Album"},
        {f.ID3year, "Year"},     {f.ID3genre, "Genre"},   {f.ID3comment, "Comment"},
        {f.ID3track, "Track #"},
    };
    for (const auto& [field, name] : fields) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(field);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text(QAccessible::Name), QString::fromLatin1(name));
    }
}
