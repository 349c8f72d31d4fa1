#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "metadata/dialogs/frmEditTrackName.h"

TEST(EditTrackName, StartsWithTheWholeTitleSelected)
{
    TfrmEditTrackName d(nullptr, QStringLiteral("Track05"));
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Rename Track Title"));
    EXPECT_EQ(d.eName->selectedText(), QStringLiteral("Track05"));
    EXPECT_TRUE(d.btOK->isEnabled());
    QTest::keyClicks(d.eName, QStringLiteral("Overture"));
    EXPECT_EQ(d.Title(), QStringLiteral("Overture"));
    d.btOK->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
}

TEST(EditTrackName, AnEmptyTitleCannotBeAccepted)
{
    TfrmEditTrackName d(nullptr, QString());
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    EXPECT_FALSE(d.aOK->isEnabled());
    EXPECT_FALSE(d.btOK->isEnabled());
    // Enter in the empty edit does not accept either.
    QTest::keyClick(d.eName, Qt::Key_Return);
    EXPECT_TRUE(d.isVisible());
    d.aOK->trigger();
    EXPECT_TRUE(d.isVisible());

    QTest::keyClicks(d.eName, QStringLiteral("A"));
    EXPECT_TRUE(d.btOK->isEnabled());
    QTest::keyClick(d.eName, Qt::Key_Backspace);
    EXPECT_FALSE(d.btOK->isEnabled());
    d.btCancel->click();
    EXPECT_EQ(d.result(), QDialog::Rejected);
}
