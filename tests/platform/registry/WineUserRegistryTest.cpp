#include <gtest/gtest.h>

#include "platform/registry/WineUserRegistry.h"
#include "support/TestSupport.h"

TEST(WineUserRegistry, KeysWithSubkeysAreNotDeleted)
{
    ProgramDirScope dir;
    const QString path = dir.File(QStringLiteral("user.reg"));
    WriteWholeFile(path, "[A\\\\B] 1\n\n[A\\\\B\\\\C] 1\n");
    TWineUserRegistry reg(path);
    EXPECT_TRUE(reg.KeyExists(QStringLiteral("\\a\\b\\")));
    EXPECT_FALSE(reg.DeleteKey(QStringLiteral("A\\B")));
    EXPECT_TRUE(reg.DeleteKey(QStringLiteral("A\\B\\C")));
    EXPECT_TRUE(reg.DeleteKey(QStringLiteral("A\\B")));
    EXPECT_FALSE(reg.DeleteValue(QStringLiteral("A\\B"), QStringLiteral("x")));
}
