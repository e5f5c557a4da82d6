#include "tools/recovery/qv_error_recovery.h"

#include <utility>

#include "foundation/array.h"
#include "foundation/check.h"
#include "foundation/string.h"
#include "foundation/value.h"
#include "tools/recovery/qv_error_presentation_keys.h"

namespace {

using Entries = std::vector<fnd::Dictionary::Entry>;

Entries entriesOf(const std::shared_ptr<fnd::Dictionary>& userInfo) {
  return userInfo ? userInfo->entries() : Entries{};
}

void addText(Entries& entries, std::string_view key, std::string_view text) {
  if (!text.empty()) entries.emplace_back(fnd::Value(key), fnd::Value(text));
}

fnd::Value optionsArray(const std::vector<std::string>& options) {
  std::vector<fnd::Value> titles;
  titles.reserve(options.size());
  for (const auto& option : options) titles.emplace_back(option);
  return fnd::Value(fnd::Array::make(std::move(titles)));
}

Entries textEntries(const std::shared_ptr<fnd::Dictionary>& userInfo, std::string_view description,
                    std::string_view recoverySuggestion, const std::vector<std::string>& recoveryOptions) {
  Entries entries = entriesOf(userInfo);
  addText(entries, fnd::NSLocalizedDescriptionKey, description);
  addText(entries, fnd::NSLocalizedRecoverySuggestionErrorKey, recoverySuggestion);
  entries.emplace_back(fnd::Value(fnd::NSLocalizedRecoveryOptionsErrorKey), optionsArray(recoveryOptions));
  return entries;
}

std::shared_ptr<QVErrorRecoveryAttemptInfo> requiredInfo(const fnd::Error& error) {
  auto info = recoveryAttemptInfo(error);
  FND_PARAMETER_ASSERT_TEXT(info != nullptr, "nil != self.recoveryAttemptInfo");
  return info;
}

}  // namespace

fnd::Error errorWithDomain(std::string_view domain, std::int64_t code, std::string_view description,
                           std::string_view recoverySuggestion, std::string_view recoveryOption,
                           const std::shared_ptr<fnd::Dictionary>& userInfo) {
  Entries entries = textEntries(userInfo, description, recoverySuggestion, {std::string(recoveryOption)});
  return fnd::Error(domain, code, fnd::Dictionary::make(std::move(entries)));
}

fnd::Error errorWithDomain(std::string_view domain, std::int64_t code, std::string_view description,
                           std::string_view recoverySuggestion, const std::vector<std::string>& recoveryOptions,
                           const std::shared_ptr<fnd::Dictionary>& userInfo,
                           QVErrorRecoveryAttemptBlock recoveryAttemptBlock) {
  Entries entries = textEntries(userInfo, description, recoverySuggestion, recoveryOptions);
  entries.emplace_back(
      fnd::Value(QVErrorRecoveryAttemptInfoKey),
      fnd::Value(QVErrorRecoveryAttemptInfo::recoveryAttemptInfoWithBlock(std::move(recoveryAttemptBlock))));
  return fnd::Error(domain, code, fnd::Dictionary::make(std::move(entries)));
}

fnd::Error errorWithRecoveryAttemptBlock(const fnd::Error& error, QVErrorRecoveryAttemptBlock recoveryAttemptBlock) {
  return error.errorBySettingUserInfoValue(
      fnd::Value(QVErrorRecoveryAttemptInfo::recoveryAttemptInfoWithBlock(std::move(recoveryAttemptBlock))),
      QVErrorRecoveryAttemptInfoKey);
}

fnd::Error overrideWithErrorWithDomain(const fnd::Error& error, std::string_view domain, std::int64_t code,
                                       std::string_view description, std::string_view recoverySuggestion,
                                       const std::vector<std::string>& recoveryOptions,
                                       const std::shared_ptr<fnd::Dictionary>& userInfo,
                                       QVErrorRecoveryOptionIndexMapping mapOptionIndex) {
  const auto hiddenInfo = requiredInfo(error);
  Entries entries = entriesOf(userInfo);
  entries.emplace_back(fnd::Value(fnd::NSUnderlyingErrorKey), fnd::Value(error));
  auto overriding = errorWithDomain(
      domain, code, description, recoverySuggestion, recoveryOptions, fnd::Dictionary::make(std::move(entries)),
      [error, mapOptionIndex = std::move(mapOptionIndex)](const fnd::Error&, std::size_t optionIndex) {
        return recoverWithIndexOfOption(error, mapOptionIndex ? mapOptionIndex(optionIndex) : optionIndex);
      });
  // Weak: the hidden error's notification must not keep alive the error that
  // holds the hidden one.
  std::weak_ptr<fnd::ErrorObject> weakOverriding = overriding.object();
  hiddenInfo->notifyRecoveryCompletionWithBlock([weakOverriding](bool) {
    if (auto object = weakOverriding.lock()) noNeedForRecovery(fnd::Error(std::move(object)));
  });
  return overriding;
}

std::shared_ptr<QVErrorRecoveryAttemptInfo> recoveryAttemptInfo(const fnd::Error& error) {
  return error.userInfoValue(QVErrorRecoveryAttemptInfoKey).as<QVErrorRecoveryAttemptInfo>();
}

std::optional<fnd::Error> recoverWithIndexOfOption(const fnd::Error& error, std::size_t optionIndex) {
  return requiredInfo(error)->finishRecoveryOfError(error, optionIndex);
}

void noNeedForRecovery(const fnd::Error& error) { requiredInfo(error)->noNeedForRecoveryOfError(error); }

void notifyRecoveryCompletionWithBlock(const fnd::Error& error, QVErrorRecoveryCompletionBlock block) {
  requiredInfo(error)->notifyRecoveryCompletionWithBlock(std::move(block));
}

bool isPresentationLaunched(const fnd::Error& error) { return requiredInfo(error)->isLaunched(); }

bool isPresentationCancelled(const fnd::Error& error) { return requiredInfo(error)->isCancelled(); }
