#include <atomic>
#include <functional>
#include <thread>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "DiscFixture.h"
#include "platform/cdaccess/CdAccess.h"
#include "platform/cdaccess/CdioUtil.h"
#include "platform/cdaccess/LibcdioCdAccess.h"
#include "support/TestSupport.h"

namespace {

int32_t Lsn(const TocEntry& e)
{
    return int32_t(uint32_t(e.Address[0]) << 24 | uint32_t(e.Address[1]) << 16 |
                   uint32_t(e.Address[2]) << 8 | e.Address[3]);
}

int32_t MsfFrames(const TocEntry& e)
{
    return (e.Minutes() * 60 + e.Seconds()) * 75 + e.Frames();
}

class CdAccessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(Discs())); }
    void TearDown() override { CloseAllHandles(); }

    QString Discs() const { return scope_.File(QStringLiteral("discs")); }

    int OpenImage(const QString& product)
    {
        for (const ListedImage& img : ListedImages()) {
            if (img.Product == product)
                return GetCDHandle(HandleRequest::For(img.Entry));
        }
        ADD_FAILURE() << "no drive for image " << product.toStdString();
        return 0;
    }

    ProgramDirScope scope_;
};

TEST_F(CdAccessTest, ListsValidImagesInNameOrderAndSkipsBrokenOnes)
{
    MakeImage(Discs(), QStringLiteral("beta"), {100, 50});
    makedisc::DiscImageOptions toc;
    toc.TocSheet = true;
    MakeImage(Discs(), QStringLiteral("alpha"), {80}, toc);
    MakeImage(Discs(), QStringLiteral("gamma"), {10});
    WriteWholeFile(Discs() + QStringLiteral("/delta.cue"), "this is not\na cue sheet\n\x01\x02");
    MakeImage(Discs(), QStringLiteral("epsilon"), {10});
    ASSERT_TRUE(QFile::remove(Discs() + QStringLiteral("/epsilon.bin")));
    WriteWholeFile(Discs() + QStringLiteral("/zeta.cue"), "");
    WriteWholeFile(Discs() + QStringLiteral("/notes.txt"), "FILE \"beta.bin\" BINARY\n");

    const auto images = ListedImages();
    ASSERT_EQ(images.size(), 3u);
    EXPECT_EQ(images[0].Product, QStringLiteral("alpha"));
    EXPECT_EQ(images[1].Product, QStringLiteral("beta"));
    EXPECT_EQ(images[2].Product, QStringLiteral("gamma"));
    // Images come after the system's drives, one after another.
    EXPECT_EQ(images[1].Position, images[0].Position + 1);
    EXPECT_EQ(images[2].Position, images[1].Position + 1);
}

TEST_F(CdAccessTest, AnImageNamedInPlaceOfTheFolderIsTheOnlyDrive)
{
    // Nine images: listed as a folder, the last would not fit the list.
    for (int i = 1; i <= 9; ++i)
        MakeImage(Discs(), QStringLiteral("disc%1").arg(i), {5 + i});
    WriteWholeFile(Discs() + QStringLiteral("/broken.cue"), "");
    ASSERT_EQ(::mkfifo(QFile::encodeName(Discs() + QStringLiteral("/fifo.cue")).constData(), 0600),
              0);
    const struct {
        const char* name;
        const char* product; ///< the one drive listed; nullptr for none
    } cases[] = {{"disc9.cue", "disc9"},
                 {"broken.cue", nullptr},
                 {"fifo.cue", nullptr},
                 {"missing.cue", nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LibcdioCdAccess layer(
            QFile::encodeName(Discs() + QLatin1Char('/') + QLatin1String(c.name)).toStdString());
        DriveList list;
        ASSERT_EQ(layer.GetCDList(list), 1);
        ASSERT_EQ(list.Count, c.product ? 1 : 0);
        if (c.product == nullptr)
            continue;
        EXPECT_STREQ(list.Entries[0].Product.data(), c.product);
        const int handle = layer.GetCDHandle(HandleRequest::For(list.Entries[0]));
        ASSERT_NE(handle, 0);
        TocRecord toc;
        ASSERT_EQ(layer.ModifyCDParms(handle, kCdpMsf, 1), 1);
        ASSERT_EQ(layer.ReadTOC(handle, toc), 1);
        EXPECT_EQ(MsfFrames(toc.Entries[1]) - MsfFrames(toc.Entries[0]), 14);
        layer.CloseCDHandle(handle);
    }
}

TEST_F(CdAccessTest, ListHoldsAtMostEightDrivesAndLongNamesAreCut)
{
    for (int i = 0; i < 10; ++i)
        MakeImage(Discs(), QStringLiteral("disc%1").arg(i), {5});
    MakeImage(Discs(), QStringLiteral("a very long image name indeed"), {5});
    DriveList list;
    GetCDList(list);
    EXPECT_EQ(list.Count, 8);
    const auto images = ListedImages();
    ASSERT_FALSE(images.empty());
    // The long name sorts first and is cut to the 16 characters the product field holds.
    EXPECT_EQ(images[0].Product, QStringLiteral("a very long imag"));
    EXPECT_EQ(images.back().Product.left(4), QStringLiteral("disc"));
}

TEST_F(CdAccessTest, TocImageReadsItsDataFilesBesideIt)
{
    // Written by hand: two tracks from one file, names relative to the sheet's folder.
    MakeImage(Discs(), QStringLiteral("raw"), {40, 35});
    WriteWholeFile(Discs() + QStringLiteral("/two.toc"),
                   "CD_DA\n// FILE \"commented.bin\"\nTRACK AUDIO\nFILE \"raw.bin\" 0 00:00:40\n"
                   "TRACK AUDIO\nAUDIOFILE \"raw.bin\" 00:00:40 00:00:35\n");
    ASSERT_TRUE(QFile::remove(Discs() + QStringLiteral("/raw.cue")));
    const int h = OpenImage(QStringLiteral("two"));
    ASSERT_NE(h, 0);
    TocRecord toc;
    ASSERT_EQ(ReadTOC(h, toc), 1);
    EXPECT_EQ(toc.LastTrack, 2);
    EXPECT_EQ(Lsn(toc.Entries[1]), 40);
    auto buf = AudioReadBuffer::Make(70, 5);
    ASSERT_EQ(ReadCDAudioLBA(h, buf), 1);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(buf.Data.data()), int(buf.BytesReturned)),
              BinSectors(Discs() + QStringLiteral("/raw.bin"), 70, 5));
    // Its data file vanishing is the disc vanishing.
    ASSERT_TRUE(QFile::remove(Discs() + QStringLiteral("/raw.bin")));
    EXPECT_EQ(ReadCDAudioLBA(h, buf), 0);
}

TEST_F(CdAccessTest, ImagesReadOnlyRegularFilesOfTheirOwnFolder)
{
    // Something worth stealing beside the discs folder, and an image that may read it.
    MakeImage(scope_.Path(), QStringLiteral("outside"), {40});
    MakeImage(Discs(), QStringLiteral("fine"), {40});
    WriteWholeFile(Discs() + QStringLiteral("/abs.toc"),
                   "CD_DA\nTRACK AUDIO\nFILE \"" +
                       QFile::encodeName(scope_.File(QStringLiteral("outside.bin"))) +
                       "\" 0 00:00:40\n");
    WriteWholeFile(Discs() + QStringLiteral("/up.toc"),
                   "CD_DA\nTRACK AUDIO\nFILE \"../outside.bin\" 0 00:00:40\n");
    // FIFOs where an image's files should be: a blocking open of any of them would hang.
    const auto fifo = [&](const QString& name) {
        ASSERT_EQ(::mkfifo(QFile::encodeName(Discs() + QLatin1Char('/') + name).constData(), 0644),
                  0);
    };
    WriteWholeFile(Discs() + QStringLiteral("/piped.cue"),
                   "FILE \"piped.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
    fifo(QStringLiteral("piped.bin"));
    fifo(QStringLiteral("sheet.cue"));
    fifo(QStringLiteral("sheet.toc"));
    fifo(QStringLiteral("data.bin"));
    WriteWholeFile(Discs() + QStringLiteral("/data.toc"),
                   "CD_DA\nTRACK AUDIO\nFILE \"data.bin\" 0 00:00:40\n");

    const auto images = ListedImages();
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].Product, QStringLiteral("fine"));
}

TEST_F(CdAccessTest, ImageDataFilesMustResolveToRegularFilesInsideTheFolder)
{
    // Where links may point: outside the folder in four ways, or to a file inside it.
    MakeImage(scope_.Path(), QStringLiteral("outside"), {40});
    const QString folder = scope_.File(QStringLiteral("folder"));
    const QString fifo = scope_.File(QStringLiteral("pipe"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    const struct {
        const char* what;
        QString target;
        bool usable;
    } targets[] = {
        {"file outside", scope_.File(QStringLiteral("outside.bin")), false},
        {"folder", folder, false},
        {"dangling", scope_.File(QStringLiteral("missing.bin")), false},
        {"/dev/zero", QStringLiteral("/dev/zero"), false},
        {"FIFO", fifo, false},
        {"file inside", Discs() + QStringLiteral("/store/kept.bin"), true},
    };
    // The places an image names a data file: the .bin libcdio opens beside a .cue, a cue's FILE
    // and a .toc's FILE.
    const auto link = [&](const QString& target, const QString& name) {
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(),
                            QFile::encodeName(Discs() + QLatin1Char('/') + name).constData()),
                  0);
    };
    const std::function<void(const QString&)> places[] = {
        [&](const QString& target) {
            MakeImage(Discs(), QStringLiteral("disc"), {40});
            ASSERT_TRUE(QFile::remove(Discs() + QStringLiteral("/disc.bin")));
            link(target, QStringLiteral("disc.bin"));
        },
        [&](const QString& target) {
            MakeImage(Discs(), QStringLiteral("disc"), {40});
            WriteWholeFile(Discs() + QStringLiteral("/disc.cue"),
                           "FILE \"named.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
            link(target, QStringLiteral("named.bin"));
        },
        [&](const QString& target) {
            WriteWholeFile(Discs() + QStringLiteral("/disc.toc"),
                           "CD_DA\nTRACK AUDIO\nFILE \"named.bin\" 0 00:00:40\n");
            link(target, QStringLiteral("named.bin"));
        },
    };
    const char* placeNames[] = {"cue's .bin", "cue FILE", "toc FILE"};
    for (size_t p = 0; p < std::size(places); ++p) {
        for (const auto& t : targets) {
            SCOPED_TRACE(std::string(placeNames[p]) + " -> " + t.what);
            ASSERT_TRUE(QDir(Discs()).removeRecursively());
            ASSERT_TRUE(QDir().mkpath(Discs() + QStringLiteral("/store")));
            MakeImage(Discs() + QStringLiteral("/store"), QStringLiteral("kept"), {40});
            places[p](t.target);
            const auto images = ListedImages();
            EXPECT_EQ(images.size(), t.usable ? 1u : 0u);
            if (!images.empty()) {
                EXPECT_EQ(images[0].Product, QStringLiteral("disc"));
            }
        }
    }
}

TEST_F(CdAccessTest, ADataFileReplacedByALinkAfterTheOpenIsNeverRead)
{
    // libcdio opens the .bin at its first read, by name: what is there then must be what was
    // checked.
    MakeImage(scope_.Path(), QStringLiteral("outside"), {40});
    MakeImage(Discs(), QStringLiteral("disc"), {40});
    const int h = OpenImage(QStringLiteral("disc"));
    ASSERT_NE(h, 0);
    const QString bin = Discs() + QStringLiteral("/disc.bin");
    ASSERT_TRUE(QFile::remove(bin));
    ASSERT_EQ(::symlink(QFile::encodeName(scope_.File(QStringLiteral("outside.bin"))).constData(),
                        QFile::encodeName(bin).constData()),
              0);
    auto buf = AudioReadBuffer::Make(0, 10);
    EXPECT_EQ(ReadCDAudioLBA(h, buf), 0);
    EXPECT_EQ(GetAspiLibError(), CdAccessError::MediumGone);
    TocRecord toc;
    EXPECT_EQ(ReadTOC(h, toc), 0); // reopening applies the rule again
    EXPECT_EQ(ReadCDAudioLBA(h, buf), 0);
}

TEST_F(CdAccessTest, TocComesInLbaFormUntilMsfIsSelected)
{
    makedisc::DiscImageOptions opt;
    opt.PregapSectors = 30;
    MakeImage(Discs(), QStringLiteral("gaps"), {200, 23, 1}, opt);
    const int h = OpenImage(QStringLiteral("gaps"));
    ASSERT_NE(h, 0);

    TocRecord toc;
    ASSERT_EQ(ReadTOC(h, toc), 1);
    EXPECT_EQ(toc.FirstTrack, 1);
    EXPECT_EQ(toc.LastTrack, 3);
    // Index 1 of each track, after its 30-sector pregap.
    EXPECT_EQ(Lsn(toc.Entries[0]), 30);
    EXPECT_EQ(Lsn(toc.Entries[1]), 30 + 200 + 30);
    EXPECT_EQ(Lsn(toc.Entries[2]), 30 + 200 + 30 + 23 + 30);
    EXPECT_EQ(Lsn(toc.Entries[3]), 30 + 200 + 30 + 23 + 30 + 1);
    EXPECT_EQ(toc.Entries[3].TrackNumber, kLeadOutTrack);
    EXPECT_FALSE(toc.Entries[0].IsData());

    EXPECT_EQ(ModifyCDParms(h, 35, 1), 0);
    EXPECT_EQ(ModifyCDParms(h, kCdpMsf, 7), 0);
    ASSERT_EQ(ModifyCDParms(h, kCdpMsf, 1), 1);
    ASSERT_EQ(ReadTOC(h, toc), 1);
    EXPECT_EQ(toc.Entries[0].Minutes(), 0);
    EXPECT_EQ(toc.Entries[0].Seconds(), 2);
    EXPECT_EQ(toc.Entries[0].Frames(), 30);
    EXPECT_EQ(MsfFrames(toc.Entries[3]), 150 + 314);
}

TEST_F(CdAccessTest, AudioReadsMatchTheBinAndStayInsideTheDisc)
{
    MakeImage(Discs(), QStringLiteral("disc"), {40, 23});
    const QString bin = Discs() + QStringLiteral("/disc.bin");
    const int h = OpenImage(QStringLiteral("disc"));
    ASSERT_NE(h, 0);

    // Across the track boundary, and the very last sector before the lead-out.
    for (uint32_t start : {0u, 35u, 62u}) {
        const uint32_t count = start == 62 ? 1 : 10;
        auto buf = AudioReadBuffer::Make(start, count);
        ASSERT_EQ(ReadCDAudioLBA(h, buf), 1) << start;
        ASSERT_EQ(buf.BytesReturned, count * 2352);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(buf.Data.data()) + buf.Offset,
                             int(buf.BytesReturned)),
                  BinSectors(bin, start, count))
            << start;
    }
    auto past = AudioReadBuffer::Make(60, 10);
    EXPECT_EQ(ReadCDAudioLBA(h, past), 0);
    EXPECT_EQ(past.BytesReturned, 0u);
    auto none = AudioReadBuffer::Make(0, 0);
    EXPECT_EQ(ReadCDAudioLBA(h, none), 0);
    auto tooSmall = AudioReadBuffer::Make(0, 2);
    tooSmall.SectorCount = 3;
    EXPECT_EQ(ReadCDAudioLBA(h, tooSmall), 0);
    EXPECT_EQ(GetAspiLibError(), CdAccessError::BadParameter);
}

TEST_F(CdAccessTest, HandleStaysWithItsImageWhenTheListChanges)
{
    MakeImage(Discs(), QStringLiteral("b"), {30});
    makedisc::DiscImageOptions other;
    other.Seed = 99;
    MakeImage(Discs(), QStringLiteral("c"), {30}, other);
    const auto before = ListedImages();
    ASSERT_EQ(before.size(), 2u);
    const int hc = GetCDHandle(HandleRequest::For(before[1].Entry));
    ASSERT_NE(hc, 0);

    // A new image sorts in front of both: positions shift, identities do not.
    MakeImage(Discs(), QStringLiteral("a"), {30});
    ASSERT_EQ(ListedImages().size(), 3u);
    auto buf = AudioReadBuffer::Make(0, 5);
    ASSERT_EQ(ReadCDAudioLBA(hc, buf), 1);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(buf.Data.data()), int(buf.BytesReturned)),
              BinSectors(Discs() + QStringLiteral("/c.bin"), 0, 5));
    // A request made from the old list still opens the drive it named.
    const int again = GetCDHandle(HandleRequest::For(before[1].Entry));
    ASSERT_NE(again, 0);
    TocRecord toc;
    ASSERT_EQ(ReadTOC(again, toc), 1);
    EXPECT_EQ(Lsn(toc.Entries[1]), 30);
}

TEST_F(CdAccessTest, VanishedAndReplacedImagesFailCleanlyThenReadAfresh)
{
    MakeImage(Discs(), QStringLiteral("disc"), {50});
    const int h = OpenImage(QStringLiteral("disc"));
    ASSERT_NE(h, 0);
    ASSERT_EQ(ModifyCDParms(h, kCdpMsf, 1), 1);

    const QString bin = Discs() + QStringLiteral("/disc.bin");
    const QByteArray saved = ReadWholeFile(bin);
    ASSERT_TRUE(QFile::remove(bin));
    TocRecord toc;
    EXPECT_EQ(ReadTOC(h, toc), 0);
    EXPECT_EQ(GetAspiLibError(), CdAccessError::MediumGone);
    auto buf = AudioReadBuffer::Make(0, 10);
    EXPECT_EQ(ReadCDAudioLBA(h, buf), 0);

    // The same disc put back under a new set of tracks: the next TOC read sees the new disc.
    makedisc::DiscImageOptions other;
    other.Seed = 5;
    MakeImage(Discs(), QStringLiteral("disc"), {20, 20, 20}, other);
    ASSERT_EQ(ReadTOC(h, toc), 1);
    EXPECT_EQ(toc.LastTrack, 3);
    EXPECT_EQ(MsfFrames(toc.Entries[3]), 150 + 60);
    ASSERT_EQ(ReadCDAudioLBA(h, buf), 1);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(buf.Data.data()), int(buf.BytesReturned)),
              BinSectors(bin, 0, 10));
    EXPECT_NE(BinSectors(bin, 0, 10), saved.left(10 * 2352)) << "the new disc must differ";
}

TEST_F(CdAccessTest, HandleTableHasTenSlotsAndClosedHandlesFail)
{
    MakeImage(Discs(), QStringLiteral("disc"), {20});
    std::vector<int> handles;
    for (int i = 0; i < LibcdioCdAccess::kMaxHandles; ++i) {
        handles.push_back(OpenImage(QStringLiteral("disc")));
        ASSERT_EQ(handles.back(), i + 1);
    }
    EXPECT_EQ(OpenImage(QStringLiteral("disc")), 0);
    EXPECT_EQ(GetAspiLibError(), CdAccessError::NoFreeHandle);

    EXPECT_EQ(CloseCDHandle(4), 1);
    EXPECT_EQ(CloseCDHandle(4), 0);
    EXPECT_EQ(CloseCDHandle(0), 0);
    EXPECT_EQ(CloseCDHandle(11), 0);
    TocRecord toc;
    EXPECT_EQ(ReadTOC(4, toc), 0);
    EXPECT_EQ(ModifyCDParms(4, kCdpMsf, 1), 0);
    auto buf = AudioReadBuffer::Make(0, 1);
    EXPECT_EQ(ReadCDAudioLBA(4, buf), 0);
    EXPECT_EQ(OpenImage(QStringLiteral("disc")), 4);

    HandleRequest unknown;
    unknown.Target = 0xfe;
    EXPECT_EQ(GetCDHandle(unknown), 0);
}

TEST_F(CdAccessTest, OneHandleSharedByTwoThreads)
{
    MakeImage(Discs(), QStringLiteral("disc"), {120, 80});
    const QByteArray bin = ReadWholeFile(Discs() + QStringLiteral("/disc.bin"));
    const int h = OpenImage(QStringLiteral("disc"));
    ASSERT_NE(h, 0);

    std::atomic<bool> done{false}, tocRead{false};
    std::atomic<int> mismatches{0}, failures{0};
    std::thread reader([&] {
        // Overlap is the point: start once the other thread is reading TOCs.
        while (!tocRead.load())
            std::this_thread::yield();
        for (int round = 0; round < 40; ++round) {
            for (uint32_t s = 0; s < 200; s += 10) {
                auto buf = AudioReadBuffer::Make(s, 10);
                if (ReadCDAudioLBA(h, buf) != 1) {
                    ++failures;
                    continue;
                }
                if (QByteArray(reinterpret_cast<const char*>(buf.Data.data()),
                               int(buf.BytesReturned)) != bin.mid(qsizetype(s) * 2352, 10 * 2352))
                    ++mismatches;
            }
        }
        done = true;
    });
    int tocReads = 0;
    do {
        TocRecord toc;
        ModifyCDParms(h, kCdpMsf, tocReads % 2);
        EXPECT_EQ(ReadTOC(h, toc), 1);
        ++tocReads;
        tocRead = true;
    } while (!done);
    reader.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_GT(tocReads, 0);

    // Closing while the other thread reads: its reads then fail, nothing else happens.
    std::atomic<int> afterClose{0}, lateReads{0};
    std::atomic<bool> closed{false};
    std::thread late([&] {
        while (!closed) {
            auto buf = AudioReadBuffer::Make(0, 10);
            ReadCDAudioLBA(h, buf);
            ++lateReads;
        }
        auto buf = AudioReadBuffer::Make(0, 10);
        afterClose = ReadCDAudioLBA(h, buf);
    });
    while (lateReads.load() < 3)
        std::this_thread::yield();
    EXPECT_EQ(CloseCDHandle(h), 1);
    closed = true;
    late.join();
    EXPECT_EQ(afterClose.load(), 0);
}

TEST(RewriteTocPaths, AnchorsRelativeNamesAndRefusesWhatItCannotParse)
{
    std::vector<std::string> files;
    auto text =
        RewriteTocPaths("CD_DA\nTRACK AUDIO\nFILE \"a b.bin\" 0 00:01:00\nDATAFILE \"x..y.bin\"\n"
                        "AUDIOFILE  \"sub/c.wav\" 0\nMYFILE \"kept.bin\"\nFILE 12\n",
                        "/discs", files);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(
        *text,
        "CD_DA\nTRACK AUDIO\nFILE \"/discs/a b.bin\" 0 00:01:00\nDATAFILE \"/discs/x..y.bin\"\n"
        "AUDIOFILE  \"/discs/sub/c.wav\" 0\nMYFILE \"kept.bin\"\nFILE 12\n");
    EXPECT_EQ(files,
              (std::vector<std::string>{"/discs/a b.bin", "/discs/x..y.bin", "/discs/sub/c.wav"}));

    // Only files in the sheet's folder or below it: nothing absolute, nothing climbing out,
    // wherever the statement stands (a comment is no shelter: parsers differ on comments).
    for (const char* sheet :
         {"FILE \"/etc/shadow\" 0", "AUDIOFILE \"../../etc/passwd\" 0", "FILE \"..\" 0",
          "DATAFILE \"sub/../../x.bin\"", "// FILE \"/etc/shadow\"", "FILE \"sub/..\" 0"}) {
        files.clear();
        EXPECT_FALSE(RewriteTocPaths(sheet, "/discs", files).has_value()) << sheet;
    }

    files.clear();
    EXPECT_FALSE(RewriteTocPaths("FILE \"never closed", "/d", files));
    EXPECT_FALSE(RewriteTocPaths("FILE \"esc\\\"aped\"", "/d", files));
    EXPECT_FALSE(RewriteTocPaths("FILE \"x\"", "/we\"ird", files));
    EXPECT_TRUE(RewriteTocPaths("FILE", "/d", files).has_value());
    EXPECT_TRUE(RewriteTocPaths("", "/d", files).has_value());
}

TEST(CueFileNames, QuotedUnquotedAndAnyCase)
{
    EXPECT_EQ(CueFileNames("REM x\r\nFILE \"a b.bin\" BINARY\r\n  file plain.wav WAVE\n"
                           "\tFILE \"/abs/c.bin\" BINARY\nFILEX \"no.bin\"\nTITLE \"FILE x\"\n"
                           "FILE \"unclosed\nFILE"),
              (std::vector<std::string>{"a b.bin", "plain.wav", "/abs/c.bin"}));
}

TEST(MakeDiscTool, WritesImagesFromTheCommandLine)
{
    QTemporaryDir dir;
    const QString tool = BuiltBinDir() + QStringLiteral("makedisc");
    ASSERT_TRUE(QFile::exists(tool)) << tool.toStdString();
    EXPECT_EQ(QProcess::execute(tool, {dir.path(), QStringLiteral("Cmd"), QStringLiteral("2s"),
                                       QStringLiteral("23")}),
              0);
    EXPECT_EQ(QFileInfo(dir.path() + QStringLiteral("/Cmd.bin")).size(), (150 + 23) * 2352);
    EXPECT_EQ(ReadWholeFile(dir.path() + QStringLiteral("/Cmd.cue")),
              QByteArray("FILE \"Cmd.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                         "  TRACK 02 AUDIO\n    INDEX 01 00:02:00\n"));
    // Bad lengths and options are refused without writing anything.
    for (const QStringList& args :
         {QStringList{dir.path(), QStringLiteral("Bad"), QStringLiteral("0")},
          QStringList{dir.path(), QStringLiteral("Bad"), QStringLiteral("12x")},
          QStringList{dir.path(), QStringLiteral("Bad")},
          QStringList{QStringLiteral("--pregap"), QStringLiteral("-1"), dir.path(),
                      QStringLiteral("Bad"), QStringLiteral("5")}})
        EXPECT_EQ(QProcess::execute(tool, args), 2) << args.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(QProcess::execute(tool, {QStringLiteral("--toc"), QStringLiteral("--pregap"),
                                       QStringLiteral("3"), dir.path(), QStringLiteral("Bad"),
                                       QStringLiteral("5")}),
              1);
    EXPECT_FALSE(QFile::exists(dir.path() + QStringLiteral("/Bad.cue")));
    EXPECT_FALSE(QFile::exists(dir.path() + QStringLiteral("/Bad.toc")));
}

} // namespace
