#include "condition.h"

#include <winsim/sim.h>

#include <gtest/gtest.h>

#include <stdexcept>

using hxca::EvaluateCondition;

TEST(Condition, KitFormsAgainstTheSessionOfTheMoment) {
    winsim::Reset();
    winsim::msi::SetProperty("ZEBMAKEPRIMARY", "1");
    winsim::msi::SetProperty("REMOVE", "All");
    winsim::msi::AddFeature("Web", 2, 3);
    winsim::msi::AddFeature("JRE", 3, 2);

    EXPECT_TRUE(EvaluateCondition(""));
    EXPECT_TRUE(EvaluateCondition("ZEBMAKEPRIMARY"));
    EXPECT_FALSE(EvaluateCondition("NOT ZEBMAKEPRIMARY"));
    EXPECT_TRUE(EvaluateCondition("ZEBMAKEPRIMARY=\"1\" AND REMOVE~=\"ALL\""));
    EXPECT_FALSE(EvaluateCondition("REMOVE=\"ALL\"")); // exact without ~
    EXPECT_TRUE(EvaluateCondition("REMOVE<>\"ALL\""));
    EXPECT_TRUE(EvaluateCondition("&Web=3 AND !Web=2"));
    EXPECT_TRUE(EvaluateCondition("!JRE=3 AND &JRE=2"));
    EXPECT_FALSE(EvaluateCondition("&Nothing=3"));
    EXPECT_TRUE(EvaluateCondition("Installed OR &Web=3"));
    EXPECT_FALSE(EvaluateCondition("Installed OR NOT REMOVE~=\"ALL\""));
    // A blank inside quotes is no separator.
    winsim::msi::SetProperty("X", "a AND b");
    EXPECT_TRUE(EvaluateCondition("X=\"a AND b\""));

    winsim::msi::SetProperty("ZEBMAKEPRIMARY", "");
    EXPECT_FALSE(EvaluateCondition("ZEBMAKEPRIMARY=\"1\""));
    EXPECT_THROW(EvaluateCondition("VersionNT >= 600"), std::invalid_argument);
}
