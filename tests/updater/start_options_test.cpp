// The updater's options, its page's operations and the show operation's place: pure rules.
#include <gtest/gtest.h>

#include "page_operations.h"
#include "start_options.h"

namespace orv::updater {
namespace {

using Tokens = std::vector<std::wstring>;

TEST(UpdaterStartOptions, QuitBroadcastWinsAnywhereAfterTheProgramAndOnlyExactly) {
  EXPECT_TRUE(startOptions({L"u.exe", L"-t"}).quitRunningCopies);
  EXPECT_TRUE(startOptions({L"u.exe", L"x", L"-newloader", L"-t"}).quitRunningCopies);
  // The program ends before it removes anything.
  EXPECT_EQ(startOptions({L"u.exe", L"-newloader", L"-t"}).removeOldFile, 0);
  EXPECT_FALSE(startOptions({L"-t"}).quitRunningCopies);  // token 0 is the program
  EXPECT_FALSE(startOptions({L"u.exe", L"-T"}).quitRunningCopies);
  EXPECT_FALSE(startOptions({L"u.exe", L"-tt"}).quitRunningCopies);
  EXPECT_FALSE(startOptions({L"u.exe", L"/t"}).quitRunningCopies);
}

TEST(UpdaterStartOptions, EveryNewLoaderTokenAsksForTheRemoval) {
  EXPECT_EQ(startOptions({L"u.exe", L"-lostfile", L"-newloader"}).removeOldFile, 1);
  EXPECT_EQ(startOptions({L"u.exe", L"-newloader", L"-newloader"}).removeOldFile, 2);
  EXPECT_EQ(startOptions({L"u.exe", L"-NewLoader"}).removeOldFile, 0);
  EXPECT_EQ(startOptions({L"u.exe"}).removeOldFile, 0);
}

TEST(UpdaterStartOptions, OnlyTokenOneSetsAFlag) {
  const UpdateFlags lost = updateFlags({L"u.exe", L"-lostfile"});
  EXPECT_TRUE(lost.lostFile);
  EXPECT_FALSE(lost.firstRun || lost.manual || lost.newLoader);
  EXPECT_TRUE(updateFlags({L"u.exe", L"-firstrun"}).firstRun);
  EXPECT_TRUE(updateFlags({L"u.exe", L"-manual"}).manual);
  // "-newloader" as token 1 and "-lostfile" behind it: only the first reaches the flow.
  const UpdateFlags handedOver = updateFlags({L"u.exe", L"-newloader", L"-lostfile"});
  EXPECT_TRUE(handedOver.newLoader);
  EXPECT_FALSE(handedOver.lostFile);
  EXPECT_FALSE(updateFlags({L"u.exe", L"x", L"-lostfile"}).lostFile);
  EXPECT_FALSE(updateFlags({L"u.exe", L"-LostFile"}).lostFile);
  EXPECT_FALSE(updateFlags({L"u.exe", L"-lostfile "}).lostFile);
  EXPECT_FALSE(updateFlags({L"-lostfile"}).lostFile);
  EXPECT_FALSE(updateFlags({}).manual);
}

TEST(UpdaterStartOptions, OldFileAndShownPlace) {
  EXPECT_EQ(oldFilePath(L"C:\\P\\OrvalinexUpdate.exe"), L"C:\\P\\OrvalinexUpdate.exe.old");
  const WindowPlace place = shownWindowPlace(1280, 1024, 652, 152);
  EXPECT_EQ(place.x, (1280 - 652) / 2);
  EXPECT_EQ(place.y, (1024 - 152) / 3);
}

TEST(UpdaterPageOperations, NamesAndParametersAreExact) {
  EXPECT_EQ(pageRequest(L"ConfirmUpdate", L"true").operation, PageOperation::kConfirmUpdate);
  EXPECT_EQ(pageRequest(L"ConfirmUpdate", L"false").operation, PageOperation::kNone);
  EXPECT_EQ(pageRequest(L"ConfirmUpdate", L"TRUE").operation, PageOperation::kNone);
  EXPECT_EQ(pageRequest(L"confirmupdate", L"true").operation, PageOperation::kNone);
  EXPECT_EQ(pageRequest(L"ConfirmRetry", L"true").operation, PageOperation::kConfirmRetry);
  EXPECT_EQ(pageRequest(L"ConfirmRetry", L"").operation, PageOperation::kNone);

  const PageRequest tooOften = pageRequest(L"ConfirmRetryTooTimes", L"false");
  EXPECT_EQ(tooOften.operation, PageOperation::kConfirmRetryTooTimes);
  EXPECT_FALSE(tooOften.yes);
  EXPECT_TRUE(pageRequest(L"ConfirmCloseIe", L"true").yes);
  EXPECT_EQ(pageRequest(L"ConfirmCloseIe", L"1").operation, PageOperation::kNone);

  EXPECT_EQ(pageRequest(L"Copyfile", L"a.lnk,b.lnk").operation, PageOperation::kCopyFile);
  EXPECT_EQ(pageRequest(L"GetLangID", L"Orvalinex").operation, PageOperation::kGetLangId);
  EXPECT_EQ(pageRequest(L"Other", L"true").operation, PageOperation::kNone);
}

}  // namespace
}  // namespace orv::updater
