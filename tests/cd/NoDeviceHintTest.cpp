#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <gtest/gtest.h>

#include "cd/frmNoDeviceHint.h"
#include "platform/shell/Shell.h"
#include "support/TestSupport.h"

namespace {

TEST(TfrmNoDeviceHint, ShowsTheCausesAndOpensTheManualAtEachLink)
{
    QStringList opened;
    SetShellHookForTests([&](const QString& url) { return opened.push_back(url), true; });
    TfrmNoDeviceHint form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Platterly"));
    EXPECT_EQ(form.lbHeader->text(),
              QStringLiteral(
                  "The Software couldn't find CD devices.Please check the following problems:"));
    EXPECT_TRUE(form.lbCause1->text().startsWith(QStringLiteral("1. ")));
    EXPECT_TRUE(form.lbCause2->text().startsWith(QStringLiteral("2. ")));
    EXPECT_TRUE(form.lbCause2->text().contains(QStringLiteral("cdrom")));
    EXPECT_TRUE(form.lbCause3->text().startsWith(QStringLiteral("3. ")));
    EXPECT_EQ(form.btClose->text(), QStringLiteral("&Close"));

    // Every link in the labels leads to a manual section.
    QStringList links;
    const QRegularExpression href(QStringLiteral("href=\"([^\"]+)\""));
    for (QLabel* label : {form.lbCause1, form.lbCause2, form.lbCause3}) {
        for (const auto& m : href.globalMatch(label->text()))
            links << m.captured(1);
    }
    EXPECT_EQ(links, (QStringList{QStringLiteral("cdrom-group"), QStringLiteral("no-device"),
                                  QStringLiteral("disc-images")}));
    Q_EMIT form.lbCause2->linkActivated(QStringLiteral("cdrom-group"));
    Q_EMIT form.lbCause3->linkActivated(QStringLiteral("no-device"));
    Q_EMIT form.lbCause3->linkActivated(QStringLiteral("disc-images"));
    ASSERT_EQ(opened.size(), 3);
    EXPECT_EQ(opened[0], ManualUrl(QStringLiteral("cdrom-group")).toString());
    EXPECT_EQ(opened[1], ManualUrl(QStringLiteral("no-device")).toString());
    EXPECT_EQ(opened[2], ManualUrl(QStringLiteral("disc-images")).toString());
    SetShellHookForTests(nullptr);

    bool closedByButton = false;
    QTimer::singleShot(0, &form, [&] {
        form.btClose->click();
        closedByButton = true;
    });
    form.exec();
    EXPECT_TRUE(closedByButton);
    EXPECT_FALSE(form.isVisible());
}

} // namespace
