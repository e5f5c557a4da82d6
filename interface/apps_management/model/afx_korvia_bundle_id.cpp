#include "interface/apps_management/model/afx_korvia_bundle_id.h"

#include <algorithm>
#include <cctype>

#include "foundation/format.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"
#include "foundation/string.h"
#include "tools/qv_coder_extensions.h"

namespace {

constexpr std::string_view kMarker = "-korvia";
constexpr std::string_view kTeaserPrefix = "com.korvia.teaser.";
constexpr std::size_t kTeamPrefixLength = 10;

std::string lowercased(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

// "ABCDE12345." at the start: a signing team's prefix.
bool hasTeamPrefix(std::string_view text) {
  if (text.size() <= kTeamPrefixLength || text[kTeamPrefixLength] != '.') return false;
  return std::all_of(text.begin(), text.begin() + kTeamPrefixLength,
                     [](unsigned char c) { return c < 0x80 && std::isalnum(c); });
}

}  // namespace

bool AFXExtractKorviaBundleID(std::string_view text, std::optional<std::string>* base, AFXKorviaBundleIDKind* kind) {
  const auto marker = lowercased(text).rfind(kMarker);
  if (marker == std::string::npos) return false;
  std::optional<std::string> foundBase;
  AFXKorviaBundleIDKind foundKind = AFXKorviaBundleIDKindDerived;
  const std::size_t end = marker + kMarker.size();
  if (text.starts_with(kTeaserPrefix)) {
    foundKind = AFXKorviaBundleIDKindTeaser;
  } else if (end == text.size()) {
    foundKind = AFXKorviaBundleIDKindBase;
    foundBase = std::string(text);
  } else {
    std::string_view head = text.substr(0, end);
    if (hasTeamPrefix(head)) head.remove_prefix(kTeamPrefixLength + 1);
    foundBase = std::string(head);
  }
  if (base) *base = std::move(foundBase);
  if (kind) *kind = foundKind;
  return true;
}

const fnd::Class& AFXKorviaBundleID::staticClass() {
  static const fnd::Class& cls = fnd::Class::define(
      "AFXKorviaBundleID", &fnd::Object::staticClass(),
      [] { return std::shared_ptr<AFXKorviaBundleID>(new AFXKorviaBundleID); },
      {{"bundleID", [](const fnd::Object& o) { return fnd::Value(static_cast<const AFXKorviaBundleID&>(o).bundleID_); },
        {}}});
  return cls;
}

std::shared_ptr<AFXKorviaBundleID> AFXKorviaBundleID::initWithBundleID(std::string_view bundleID) {
  (void)staticClass();
  auto identifier = std::shared_ptr<AFXKorviaBundleID>(new AFXKorviaBundleID);
  return identifier->setUp(bundleID) ? identifier : nullptr;
}

bool AFXKorviaBundleID::setUp(std::string_view bundleID) {
  if (!AFXExtractKorviaBundleID(bundleID, &baseBundleID_, &kind_)) return false;
  bundleID_ = std::string(bundleID);
  return true;
}

std::optional<std::string> AFXKorviaBundleID::derivedBundleID() const {
  return kind_ == AFXKorviaBundleIDKindDerived ? std::optional<std::string>(bundleID_) : std::nullopt;
}

std::optional<std::string> AFXKorviaBundleID::teaserBundleID() const {
  return kind_ == AFXKorviaBundleIDKindTeaser ? std::optional<std::string>(bundleID_) : std::nullopt;
}

std::shared_ptr<AFXKorviaBundleID> AFXKorviaBundleID::copy() const {
  return std::static_pointer_cast<AFXKorviaBundleID>(std::const_pointer_cast<fnd::Object>(shared_from_this()));
}

bool AFXKorviaBundleID::isEqual(const fnd::Object& other) const {
  const auto* identifier = dynamic_cast<const AFXKorviaBundleID*>(&other);
  return identifier != nullptr && identifier->bundleID_ == bundleID_;
}

std::size_t AFXKorviaBundleID::hash() const { return std::hash<std::string>{}(bundleID_); }

std::string AFXKorviaBundleID::description() const {
  return fnd::StringWithFormat("%@ bundleID = %@, kind = %@", fnd::Object::description(), bundleID_, kind_);
}

void AFXKorviaBundleID::encodeWithCoder(fnd::KeyedArchiver& coder) const {
  qv_encodeObject(coder, fnd::Value(bundleID_), "bundleID");
}

bool AFXKorviaBundleID::initWithCoder(fnd::KeyedUnarchiver& coder) {
  const auto text = qv_decodeStringForSelector(coder, "bundleID").stringValue();
  if (coder.hasFailed()) return false;
  if (!text || !setUp(*text)) {
    coder.failWithError(fnd::KeyedUnarchiver::corruptArchiveError("bundleID is no service bundle identifier"));
    return false;
  }
  return true;
}
