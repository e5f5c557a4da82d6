#include "tools/recovery/qv_error_recovery.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "foundation/array.h"
#include "foundation/queue.h"
#include "foundation/string.h"
#include "tools/recovery/qv_error_presentation_keys.h"
#include "tools/recovery/qv_error_recovery_presentation.h"

namespace {

using fnd::Error;
using fnd::Value;

constexpr std::string_view kDomain = "com.quorvex.tests";

struct BlockCalls {
  std::vector<std::size_t> indexes;
  // Weak: the error holds the block that holds these.
  std::vector<std::weak_ptr<fnd::ErrorObject>> errors;
};

// A recovery that records its calls and answers `answer`.
QVErrorRecoveryAttemptBlock recordingBlock(const std::shared_ptr<BlockCalls>& calls,
                                           std::optional<Error> answer = std::nullopt) {
  return [calls, answer](const Error& error, std::size_t index) {
    calls->indexes.push_back(index);
    calls->errors.push_back(error.object());
    return answer;
  };
}

Error recoverable(const std::shared_ptr<BlockCalls>& calls, std::optional<Error> answer = std::nullopt) {
  return errorWithDomain(kDomain, 7, "Something broke.", "Try again.", {"Retry", "Cancel"}, nullptr,
                         recordingBlock(calls, std::move(answer)));
}

// Completion notifications arrive on the main queue.
std::vector<bool> completionsOf(const Error& error) {
  auto results = std::make_shared<std::vector<bool>>();
  notifyRecoveryCompletionWithBlock(error, [results](bool recovered) { results->push_back(recovered); });
  fnd::MainLoop::runUntilIdle();
  return *results;
}

TEST(QVErrorRecoveryConstructionTest, OneOptionErrorKeepsUserInfoAndAddsTexts) {
  const auto userInfo = fnd::Dictionary::make({{Value("extra"), Value(3)}});
  const Error error = errorWithDomain(kDomain, 4, "Disk full.", "Free some space.", "OK", userInfo);
  EXPECT_TRUE(error.is(kDomain, 4));
  EXPECT_EQ(error.userInfoValue("extra").integerValue(), 3);
  EXPECT_EQ(error.localizedDescription(), "Disk full.");
  EXPECT_EQ(error.localizedRecoverySuggestion(), "Free some space.");
  EXPECT_EQ(error.localizedRecoveryOptions(), std::vector<std::string>{"OK"});
  EXPECT_EQ(recoveryAttemptInfo(error), nullptr);
}

TEST(QVErrorRecoveryConstructionTest, ErrorWithOptionsCarriesANewInfo) {
  auto calls = std::make_shared<BlockCalls>();
  const Error error = errorWithDomain(kDomain, 5, "", "", {"A", "B", "C"},
                                      fnd::Dictionary::make({{Value("k"), Value("v")}}), recordingBlock(calls));
  EXPECT_FALSE(error.userInfo()->objectForKey(fnd::NSLocalizedDescriptionKey));
  EXPECT_FALSE(error.userInfo()->objectForKey(fnd::NSLocalizedRecoverySuggestionErrorKey));
  EXPECT_EQ(error.localizedRecoveryOptions(), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(error.userInfoValue("k").stringValue(), "v");
  const auto info = recoveryAttemptInfo(error);
  ASSERT_NE(info, nullptr);
  EXPECT_FALSE(info->isLaunched());
  EXPECT_FALSE(info->isCancelled());
}

TEST(QVErrorRecoveryConstructionTest, RecoveryBlockAddedToACopy) {
  const Error plain(kDomain, 9, {{Value(fnd::NSLocalizedDescriptionKey), Value("Plain.")}});
  auto calls = std::make_shared<BlockCalls>();
  const Error copy = errorWithRecoveryAttemptBlock(plain, recordingBlock(calls));
  EXPECT_TRUE(copy.is(kDomain, 9));
  EXPECT_EQ(copy.localizedDescription(), "Plain.");
  EXPECT_NE(recoveryAttemptInfo(copy), nullptr);
  EXPECT_EQ(recoveryAttemptInfo(plain), nullptr);
}

TEST(QVErrorRecoveryTest, ChosenOptionReachesTheBlockOnce) {
  auto calls = std::make_shared<BlockCalls>();
  const Error error = recoverable(calls);
  QVErrorRecoveryPresentation presentation(error, [] {});
  EXPECT_TRUE(isPresentationLaunched(error));

  EXPECT_EQ(presentation.alertDidCloseWithOptionIndex(1), std::nullopt);
  ASSERT_EQ(calls->indexes, std::vector<std::size_t>{1});
  EXPECT_EQ(calls->errors.front().lock(), error.object());
  EXPECT_FALSE(isPresentationLaunched(error));
  EXPECT_FALSE(isPresentationCancelled(error));
}

TEST(QVErrorRecoveryTest, FurtherErrorFromTheBlockIsHandedOn) {
  auto calls = std::make_shared<BlockCalls>();
  const Error next(kDomain, 99, nullptr);
  QVErrorRecoveryPresentation presentation(recoverable(calls, next), [] {});
  EXPECT_EQ(presentation.alertDidCloseWithOptionIndex(0), next);
}

TEST(QVErrorRecoveryTest, ErrorWithoutRecoveryIsShownAndDismissed) {
  QVErrorRecoveryPresentation presentation(Error(kDomain, 1, nullptr), [] { ADD_FAILURE() << "withdrawn"; });
  EXPECT_EQ(presentation.alertDidCloseWithOptionIndex(0), std::nullopt);
}

TEST(QVErrorRecoveryTest, WithdrawalDismissesTheAlertAndIgnoresItsButton) {
  auto calls = std::make_shared<BlockCalls>();
  const Error error = recoverable(calls);
  int withdrawals = 0;
  QVErrorRecoveryPresentation presentation(error, [&] { ++withdrawals; });

  noNeedForRecovery(error);
  EXPECT_EQ(withdrawals, 1);
  EXPECT_TRUE(isPresentationCancelled(error));
  EXPECT_FALSE(isPresentationLaunched(error));
  // The alert closing as it is dismissed runs no recovery.
  EXPECT_EQ(presentation.alertDidCloseWithOptionIndex(0), std::nullopt);
  EXPECT_TRUE(calls->indexes.empty());
  EXPECT_EQ(completionsOf(error), std::vector<bool>{false});

  noNeedForRecovery(error);
  EXPECT_EQ(withdrawals, 1);
}

TEST(QVErrorRecoveryTest, NoNeedBeforePresentationIsNotACancellation) {
  auto calls = std::make_shared<BlockCalls>();
  const Error error = recoverable(calls);
  noNeedForRecovery(error);
  EXPECT_FALSE(isPresentationCancelled(error));
  EXPECT_EQ(completionsOf(error), std::vector<bool>{true});
}

TEST(QVErrorRecoveryTest, CompletionFiresOnceWhenTheInfoIsDestroyed) {
  auto results = std::make_shared<std::vector<bool>>();
  {
    auto calls = std::make_shared<BlockCalls>();
    const Error error = recoverable(calls);
    notifyRecoveryCompletionWithBlock(error, [results](bool recovered) { results->push_back(recovered); });
    QVErrorRecoveryPresentation presentation(error, [] {});
    EXPECT_EQ(presentation.alertDidCloseWithOptionIndex(0), std::nullopt);
    fnd::MainLoop::runUntilIdle();
    // Finishing is not the end: the recovery may still be withdrawn.
    EXPECT_TRUE(results->empty());
  }
  fnd::MainLoop::runUntilIdle();
  EXPECT_EQ(*results, std::vector<bool>{true});
}

TEST(QVErrorRecoveryTest, InfoWithoutBlockRecoversTheUnderlyingError) {
  auto calls = std::make_shared<BlockCalls>();
  const Error inner = recoverable(calls, Error(kDomain, 42, nullptr));
  const Error outer =
      errorWithRecoveryAttemptBlock(Error(kDomain, 2, {{Value(fnd::NSUnderlyingErrorKey), Value(inner)}}), nullptr);
  QVErrorRecoveryPresentation presentation(outer, [] {});
  EXPECT_TRUE(isPresentationLaunched(inner));
  const auto next = presentation.alertDidCloseWithOptionIndex(1);
  ASSERT_TRUE(next);
  EXPECT_TRUE(next->is(kDomain, 42));
  EXPECT_EQ(calls->indexes, std::vector<std::size_t>{1});
}

TEST(QVErrorRecoveryOverrideTest, MapsTheOptionToTheHiddenError) {
  auto calls = std::make_shared<BlockCalls>();
  const Error inner = recoverable(calls, Error(kDomain, 43, nullptr));
  const Error outer = overrideWithErrorWithDomain(inner, "com.quorvex.other", 11, "Other words.", "Other advice.",
                                                  {"Only"}, fnd::Dictionary::make({{Value("extra"), Value(true)}}),
                                                  [](std::size_t index) { return index + 1; });
  EXPECT_TRUE(outer.is("com.quorvex.other", 11));
  EXPECT_EQ(outer.underlyingError(), inner);
  EXPECT_EQ(outer.userInfoValue("extra").boolValue(), true);
  EXPECT_EQ(outer.localizedRecoveryOptions(), std::vector<std::string>{"Only"});

  QVErrorRecoveryPresentation presentation(outer, [] {});
  EXPECT_TRUE(isPresentationLaunched(inner));
  const auto next = presentation.alertDidCloseWithOptionIndex(0);
  ASSERT_TRUE(next);
  EXPECT_TRUE(next->is(kDomain, 43));
  EXPECT_EQ(calls->indexes, std::vector<std::size_t>{1});
  EXPECT_FALSE(isPresentationLaunched(inner));
}

TEST(QVErrorRecoveryOverrideTest, WithoutMappingTheIndexPassesUnchanged) {
  auto calls = std::make_shared<BlockCalls>();
  const Error inner = recoverable(calls);
  const Error outer = overrideWithErrorWithDomain(inner, kDomain, 12, "", "", {"A", "B"}, nullptr, nullptr);
  QVErrorRecoveryPresentation presentation(outer, [] {});
  EXPECT_EQ(presentation.alertDidCloseWithOptionIndex(1), std::nullopt);
  EXPECT_EQ(calls->indexes, std::vector<std::size_t>{1});
}

TEST(QVErrorRecoveryOverrideTest, IsWithdrawnWhenTheHiddenRecoveryCompletes) {
  auto calls = std::make_shared<BlockCalls>();
  const Error inner = recoverable(calls);
  const Error outer = overrideWithErrorWithDomain(inner, kDomain, 13, "Outer.", "", {"OK"}, nullptr, nullptr);
  int withdrawals = 0;
  QVErrorRecoveryPresentation presentation(outer, [&] { ++withdrawals; });

  noNeedForRecovery(inner);
  fnd::MainLoop::runUntilIdle();
  EXPECT_EQ(withdrawals, 1);
  EXPECT_TRUE(isPresentationCancelled(outer));
  EXPECT_EQ(presentation.alertDidCloseWithOptionIndex(0), std::nullopt);
  EXPECT_TRUE(calls->indexes.empty());
  EXPECT_EQ(completionsOf(outer), std::vector<bool>{false});
}

TEST(QVErrorRecoveryOverrideTest, OverridingErrorMayBeDroppedFirst) {
  auto calls = std::make_shared<BlockCalls>();
  const Error inner = recoverable(calls);
  { const Error outer = overrideWithErrorWithDomain(inner, kDomain, 14, "", "", {"OK"}, nullptr, nullptr); }
  noNeedForRecovery(inner);
  EXPECT_NO_FATAL_FAILURE(fnd::MainLoop::runUntilIdle());
}

TEST(QVErrorRecoveryTest, WithdrawalFromAnotherThreadHappensOnTheMainQueue) {
  auto calls = std::make_shared<BlockCalls>();
  const Error error = recoverable(calls);
  int withdrawals = 0;
  QVErrorRecoveryPresentation presentation(error, [&] {
    EXPECT_TRUE(fnd::MainLoop::isMainThread());
    ++withdrawals;
  });
  std::thread([error] { noNeedForRecovery(error); }).join();
  EXPECT_FALSE(isPresentationCancelled(error));
  fnd::MainLoop::runUntilIdle();
  EXPECT_EQ(withdrawals, 1);
  EXPECT_TRUE(isPresentationCancelled(error));
  EXPECT_EQ(presentation.alertDidCloseWithOptionIndex(0), std::nullopt);
  EXPECT_TRUE(calls->indexes.empty());
}

TEST(QVErrorRecoveryTest, SecondErrorIsRecoveredInTurn) {
  auto second = std::make_shared<BlockCalls>();
  const Error next = recoverable(second);
  auto first = std::make_shared<BlockCalls>();
  QVErrorRecoveryPresentation firstAlert(recoverable(first, next), [] {});
  const auto answered = firstAlert.alertDidCloseWithOptionIndex(0);
  ASSERT_TRUE(answered);
  QVErrorRecoveryPresentation secondAlert(*answered, [] {});
  EXPECT_TRUE(isPresentationLaunched(next));
  EXPECT_EQ(secondAlert.alertDidCloseWithOptionIndex(1), std::nullopt);
  EXPECT_EQ(first->indexes, std::vector<std::size_t>{0});
  EXPECT_EQ(second->indexes, std::vector<std::size_t>{1});
}

TEST(QVErrorRecoveryDeathTest, PresentationBelongsToTheMainThread) {
  auto calls = std::make_shared<BlockCalls>();
  const Error error = recoverable(calls);
  EXPECT_DEATH(std::thread([error] { QVErrorRecoveryPresentation presentation(error, [] {}); }).join(),
               "Invalid parameter not satisfying");
  EXPECT_DEATH(std::thread([error] { (void)recoverWithIndexOfOption(error, 0); }).join(),
               "Invalid parameter not satisfying");
}

TEST(QVErrorRecoveryDeathTest, OperationsNeedARecoveryAttemptInfo) {
  const Error plain(kDomain, 1, nullptr);
  EXPECT_DEATH((void)recoverWithIndexOfOption(plain, 0), "nil != self.recoveryAttemptInfo");
  EXPECT_DEATH(noNeedForRecovery(plain), "nil != self.recoveryAttemptInfo");
  EXPECT_DEATH(notifyRecoveryCompletionWithBlock(plain, [](bool) {}), "nil != self.recoveryAttemptInfo");
  EXPECT_DEATH((void)isPresentationLaunched(plain), "nil != self.recoveryAttemptInfo");
  EXPECT_DEATH((void)isPresentationCancelled(plain), "nil != self.recoveryAttemptInfo");
  EXPECT_DEATH((void)overrideWithErrorWithDomain(plain, kDomain, 2, "", "", {}, nullptr, nullptr),
               "nil != self.recoveryAttemptInfo");
}

TEST(QVErrorRecoveryDeathTest, FinishingAWithdrawnRecoveryIsAProgrammingError) {
  auto calls = std::make_shared<BlockCalls>();
  const Error error = recoverable(calls);
  QVErrorRecoveryPresentation presentation(error, [] {});
  noNeedForRecovery(error);
  EXPECT_DEATH((void)recoverWithIndexOfOption(error, 0), "!\\[self isCancelled\\]");
}

TEST(QVErrorRecoveryDeathTest, UnderlyingErrorWithoutInfoCannotRecover) {
  const Error outer = errorWithRecoveryAttemptBlock(
      Error(kDomain, 2, {{Value(fnd::NSUnderlyingErrorKey), Value(Error(kDomain, 3, nullptr))}}), nullptr);
  EXPECT_DEATH((void)recoverWithIndexOfOption(outer, 0), "nil != self.recoveryAttemptInfo");
}

TEST(QVErrorPresentationKeysTest, SuppressionCompletionTravelsInADictionary) {
  std::int64_t seen = -1;
  const auto info =
      fnd::Dictionary::make({{Value(QVErrorSuppressionButtonInfoShouldShowKey), Value(true)},
                             {Value(QVErrorSuppressionButtonInfoCompletionKey),
                              Value(QVErrorSuppressionCompletion::make([&](std::int64_t state) { seen = state; }))}});
  const auto completion =
      info->objectForKey(QVErrorSuppressionButtonInfoCompletionKey).as<QVErrorSuppressionCompletion>();
  ASSERT_NE(completion, nullptr);
  (*completion)(1);
  EXPECT_EQ(seen, 1);
}

}  // namespace
