#include <QDir>
#include <gtest/gtest.h>

#include "DiscFixture.h"
#include "cd/OpenDrive.h"
#include "support/TestSupport.h"

namespace {

TEST(OpenDrive, ReportsMissingDrivesAndPositionsBeyondTheList)
{
    FakeCdAccess fake;
    int opens = 0;
    fake.onGetHandle = [&](const HandleRequest&) { return ++opens, 5; };

    OpenDriveResult r = OpenDrive(0);
    EXPECT_EQ(r.Handle, 0);
    EXPECT_EQ(r.Status, QStringLiteral("No CD devices found!"));

    fake.drives = {FakeDrive("HL-DT-ST", "DVDRAM GH24NSD1", 1), FakeDrive("TSSTcorp", "CDDVDW", 2)};
    for (int index : {2, 7, -1}) {
        r = OpenDrive(index);
        EXPECT_EQ(r.Handle, 0) << index;
        EXPECT_EQ(r.Status, QStringLiteral("CD device information error in your configration!"))
            << index;
    }
    EXPECT_EQ(opens, 0);

    HandleRequest seen;
    fake.onGetHandle = [&](const HandleRequest& req) { return seen = req, 5; };
    r = OpenDrive(1);
    EXPECT_EQ(r.Handle, 5);
    EXPECT_EQ(r.Status, QStringLiteral("TSSTcorpCDDVDW"));
    EXPECT_EQ(seen.Size, 12);
    EXPECT_EQ(seen.Version, 1);
    EXPECT_EQ(seen.Lun, 2);
}

TEST(OpenDrive, RecoversFromStaleHandlesOnce)
{
    FakeCdAccess fake;
    fake.drives = {FakeDrive("Image ", "demo", 1)};
    std::vector<int> closed;
    int attempts = 0;
    // No free handle until one is closed; handles 1 and 2 are not open, 3 is.
    fake.onClose = [&](int h) { return closed.push_back(h), h == 3 ? 1 : 0; };
    fake.onGetHandle = [&](const HandleRequest&) { return ++attempts == 1 ? 0 : 3; };
    OpenDriveResult r = OpenDrive(0);
    EXPECT_EQ(r.Handle, 3);
    EXPECT_EQ(r.Status, QStringLiteral("Image demo"));
    EXPECT_EQ(closed, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(attempts, 2);

    // Nothing to close: all ten tried, no second attempt, and the name gives way to the error.
    closed.clear();
    attempts = 0;
    fake.onClose = [&](int h) { return closed.push_back(h), 0; };
    fake.onGetHandle = [&](const HandleRequest&) { return ++attempts, 0; };
    r = OpenDrive(0);
    EXPECT_EQ(r.Handle, 0);
    EXPECT_EQ(r.Status, QStringLiteral("No CD devices found!"));
    EXPECT_EQ(closed.size(), 10u);
    EXPECT_EQ(closed.back(), 10);
    EXPECT_EQ(attempts, 1);

    // Closed one, still cannot open: one retry only.
    attempts = 0;
    fake.onClose = [](int) { return 1; };
    r = OpenDrive(0);
    EXPECT_EQ(r.Handle, 0);
    EXPECT_EQ(attempts, 2);
}

TEST(OpenDrive, ReclaimsTheFirstHandleWhenTheRealTableIsFull)
{
    ProgramDirScope scope;
    ASSERT_TRUE(QDir().mkpath(scope.File(QStringLiteral("discs"))));
    MakeImage(scope.File(QStringLiteral("discs")), QStringLiteral("Platterly Demo"), {30, 20});
    const auto images = ListedImages();
    ASSERT_EQ(images.size(), 1u);
    for (int i = 1; i <= 10; ++i)
        ASSERT_EQ(GetCDHandle(HandleRequest::For(images[0].Entry)), i);

    const OpenDriveResult r = OpenDrive(images[0].Position);
    EXPECT_EQ(r.Handle, 1);
    EXPECT_EQ(r.Status, QStringLiteral("Image Platterly Demo"));
    TocRecord toc;
    EXPECT_EQ(ReadTOC(r.Handle, toc), 1);
    EXPECT_EQ(toc.LastTrack, 2);
    CloseAllHandles();
}

TEST(DriveName, JoinsVendorAndProductAndCutsAt26)
{
    EXPECT_EQ(DriveName(FakeDrive("PIONEER ", "DVD-RW  DVR-221L", 1)),
              QStringLiteral("PIONEER DVD-RW  DVR-221L"));
    EXPECT_EQ(DriveName(FakeDrive("ABCDEFGH", "0123456789abcdef", 1)),
              QStringLiteral("ABCDEFGH0123456789abcdef"));
    DriveEntry full = FakeDrive("", "", 1);
    // Fields without their terminating NUL must not run into each other's memory.
    full.Vendor.fill('V');
    full.Product.fill('P');
    const QString name = DriveName(full);
    EXPECT_EQ(name.size(), 26);
    EXPECT_EQ(name, QString(9, QLatin1Char('V')) + QString(17, QLatin1Char('P')));
    EXPECT_EQ(DriveName(FakeDrive("", "", 1)), QString());
}

} // namespace
