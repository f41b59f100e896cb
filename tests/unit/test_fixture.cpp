// The fixture's own helpers: a helper that passes on a wrong trace or ignores bad set-up text
// would let every test that uses it pass.
#include "zebtest.h"

#include <gtest/gtest-spi.h>

namespace {

using Fixture = ZebTest;

TEST_F(Fixture, TextChecksFindOnlyWhatWasTracedInItsOrder) {
    WriteTrace(nullptr, "first %d", 1);
    TraceText("Fn", "second '%s'", "C:\\x");
    WriteTrace(nullptr, "third");
    EXPECT_TRUE(TextsInOrder({"first 1", "third"}));
    EXPECT_FALSE(TextsInOrder({"third", "first 1"}));
    EXPECT_FALSE(TextsInOrder({"first 1", "first 1"})) << "each text needs a line of its own";
    EXPECT_FALSE(TextsInOrder({"second"})) << "whole texts only";
    EXPECT_TRUE(HasTextContaining("second 'C:\\x"));
    EXPECT_TRUE(HasTextMatching(R"(^second 'C:\\x'$)"));
    EXPECT_FALSE(HasTextMatching("^Fn"));
    EXPECT_EQ(IndexOf("third"), 2);
}

TEST_F(Fixture, SetUpFromIdtAndRegText) {
    Tables("Name\tValue\r\ns72\tL0\r\nExample\tName\r\nA\tone\r\nB\ttwo\r\n");
    ASSERT_TRUE(winsim::msi::HasTable("Example"));
    EXPECT_EQ(winsim::msi::Rows("Example").size(), 2u);
    Registry("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane]\r\n"
             "\"Name\"=\"Installation1\"\r\n");
    EXPECT_EQ(winsim::reg::GetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane", "Name")->data,
              std::string("Installation1", 14));

    EXPECT_NONFATAL_FAILURE(Tables("not a table"), "bad .idt text");
    EXPECT_NONFATAL_FAILURE(Registry("REGEDIT9\r\n"), "bad .reg text");
}

TEST_F(Fixture, RunDeferredHandsTheValueListOver) {
    winsim::msi::SetProperty("ProductName", "from the session");
    EXPECT_EQ(RunDeferred(iwiERROR, "ProductName=from the list;", MSIRUNMODE_ROLLBACK), ZEB_RC_FAILURE);
    EXPECT_TRUE(TextsInOrder({"Property 'ProductName' value 'from the list'; from CustomActionData",
                              "MSIRUNMODE_ROLLBACK", "***Returning an error to provoke a rollback"}));
    EXPECT_FALSE(HasText("MSIRUNMODE_SCHEDULED"));
    // Back in the immediate session afterwards.
    EXPECT_EQ(Read("ProductName"), "from the session");
}

} // namespace
