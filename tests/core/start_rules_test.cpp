// The core host's command-line and single-instance rules.
#include "start_rules.h"

#include "product.h"

#include <gtest/gtest.h>

namespace orv::core {
namespace {

using Steps = std::vector<OptionStep>;
using Tokens = std::vector<std::wstring>;
const OptionStep kNew = OptionStep::WriteFirstRunFlag;
const OptionStep kClose = OptionStep::CloseRunningCopies;

TEST(StartRulesTest, NoOptions) {
  EXPECT_EQ(optionSteps({L"core.exe"}), Steps{});
  EXPECT_EQ(optionSteps({}), Steps{});
}

TEST(StartRulesTest, CloseAnywhereAfterTheProgram) {
  EXPECT_EQ(optionSteps({L"core.exe", L"-t"}), Steps{kClose});
  EXPECT_EQ(optionSteps({L"core.exe", L"-nokey", L"x", L"-t"}), Steps{kClose});
}

TEST(StartRulesTest, TheProgramTokenItselfIsNoOption) {
  EXPECT_EQ(optionSteps({L"-t"}), Steps{});
  EXPECT_EQ(optionSteps({L"-new", L"x"}), Steps{});
}

TEST(StartRulesTest, OptionsAreCaseSensitive) {
  EXPECT_EQ(optionSteps({L"core.exe", L"-T"}), Steps{});
  EXPECT_EQ(optionSteps({L"core.exe", L"-NEW", L"-New"}), Steps{});
  EXPECT_EQ(optionSteps({L"core.exe", L"-t2", L"t", L"--t"}), Steps{});
}

TEST(StartRulesTest, NewThenCloseStoresFirst) {
  EXPECT_EQ(optionSteps({L"core.exe", L"-new", L"-t"}), (Steps{kNew, kClose}));
}

TEST(StartRulesTest, CloseThenNewDoesNotStore) {
  EXPECT_EQ(optionSteps({L"core.exe", L"-t", L"-new"}), Steps{kClose});
}

TEST(StartRulesTest, EveryNewWrites) {
  EXPECT_EQ(optionSteps({L"core.exe", L"-new", L"-key", L"-new"}), (Steps{kNew, kNew}));
}

TEST(StartRulesTest, KeyCountsOnlyAsTokenOneInAnyCase) {
  EXPECT_TRUE(hasKeyOption({L"core.exe", L"-key"}));
  EXPECT_TRUE(hasKeyOption({L"core.exe", L"-KEY", L"x"}));
  EXPECT_TRUE(hasKeyOption({L"core.exe", L"-Key"}));
  EXPECT_FALSE(hasKeyOption({L"core.exe", L"-nokey"}));
  EXPECT_FALSE(hasKeyOption({L"core.exe", L"-new", L"-key"}));
  EXPECT_FALSE(hasKeyOption({L"core.exe"}));
  EXPECT_FALSE(hasKeyOption({L"-key"}));
  EXPECT_FALSE(hasKeyOption({L"core.exe", L"-keys"}));
}

TEST(StartRulesTest, QuitEndsTheDialogWhatever) {
  EXPECT_EQ(singleInstanceAction(1, 0, false, false), InstanceAction::EndDialog);
  EXPECT_EQ(singleInstanceAction(1, 1, true, true), InstanceAction::EndDialog);
}

TEST(StartRulesTest, ActivationWithoutKeyRestoresAMinimisedWindow) {
  EXPECT_EQ(singleInstanceAction(2, 0, false, true), InstanceAction::Restore);
  EXPECT_EQ(singleInstanceAction(2, 0, false, false), InstanceAction::None);
}

TEST(StartRulesTest, ActivationWithKeyOnEitherSideAsksTheScript) {
  EXPECT_EQ(singleInstanceAction(2, 1, false, true), InstanceAction::AskScriptThenRestore);
  EXPECT_EQ(singleInstanceAction(2, 0, true, true), InstanceAction::AskScriptThenRestore);
  EXPECT_EQ(singleInstanceAction(2, 1, true, true), InstanceAction::AskScriptThenRestore);
  EXPECT_EQ(singleInstanceAction(2, 1, false, false), InstanceAction::None);
  EXPECT_EQ(singleInstanceAction(2, 0, true, false), InstanceAction::None);
}

TEST(StartRulesTest, OnlyLParamOneCountsAsKey) {
  EXPECT_EQ(singleInstanceAction(2, 2, false, true), InstanceAction::Restore);
}

TEST(StartRulesTest, OtherWParamsDoNothing) {
  EXPECT_EQ(singleInstanceAction(0, 0, false, true), InstanceAction::None);
  EXPECT_EQ(singleInstanceAction(3, 1, true, true), InstanceAction::None);
}

TEST(StartRulesTest, RestorePositionCentresAcrossAndAThirdDown) {
  const ScreenPoint p = restorePosition(1280, 1024, 900, 600);
  EXPECT_EQ(p.x, 190);
  EXPECT_EQ(p.y, 141);  // 424 / 3, integer division
  const ScreenPoint q = restorePosition(1024, 768, 1101, 800);
  EXPECT_EQ(q.x, -38);
  EXPECT_EQ(q.y, -10);
}

TEST(StartRulesTest, UpdaterCommandIsQuoted) {
  EXPECT_EQ(updaterCommand(L"C:\\Program Files\\Orvalinex\\"),
            L"\"C:\\Program Files\\Orvalinex\\OrvalinexUpdate.exe\"");
}

}  // namespace
}  // namespace orv::core
