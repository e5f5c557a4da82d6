#pragma once

// Bundles and signing chains for tests that check signatures: a root set as
// the platform's anchor, the maker's team under it, a developer leaf, and
// helpers that build and sign small app bundles in a temporary folder.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "foundation/code_signing.h"
#include "foundation/dictionary.h"
#include "foundation/property_list.h"
#include "foundation/signing_identity.h"
#include "foundation/url.h"

class SignedBundleFixture : public ::testing::Test {
 protected:
  static constexpr char kTeam[] = "K7QW2ZP9XD";

  static fnd::SigningIdentity issue(std::vector<std::pair<std::string, std::string>> subject, bool authority,
                                    const fnd::SigningIdentity* issuer) {
    const auto now = fnd::Clock::system().wallNow();
    fnd::CertificateRequest request{std::move(subject), authority, now - std::chrono::hours(24),
                                    now + std::chrono::hours(24 * 365)};
    auto identity = fnd::SigningIdentity::issue(request, issuer);
    EXPECT_TRUE(identity.hasValue());
    return std::move(identity).value();
  }

  static void SetUpTestSuite() {
    root_ = new fnd::SigningIdentity(issue({{"CN", "Test Root"}}, true, nullptr));
    team_ = new fnd::SigningIdentity(issue({{"CN", "Team"}, {"OU", kTeam}}, true, root_));
    leaf_ = new fnd::SigningIdentity(issue({{"CN", "Developer"}, {"OU", kTeam}}, false, team_));
    auto otherTeam = issue({{"CN", "Other Team"}, {"OU", "AAAABBBBCC"}}, true, root_);
    otherLeaf_ = new fnd::SigningIdentity(issue({{"CN", "Other Developer"}, {"OU", "AAAABBBBCC"}}, false, &otherTeam));
  }
  static void TearDownTestSuite() {
    delete otherLeaf_;
    delete leaf_;
    delete team_;
    delete root_;
  }

  void SetUp() override {
    char pattern[] = "/tmp/korvia-signed-bundle-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::ofstream(dir_ + "/anchor.pem") << root_->certificatePEM();
    ::setenv(std::string(fnd::kCodeSignatureAnchorEnvironment).c_str(), (dir_ + "/anchor.pem").c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv(std::string(fnd::kCodeSignatureAnchorEnvironment).c_str());
    std::filesystem::remove_all(dir_);
  }

  std::shared_ptr<fnd::URL> makeBundle(const std::string& name) {
    const std::string app = dir_ + "/" + name + ".app";
    std::filesystem::create_directories(app + "/Contents/MacOS");
    std::filesystem::create_directories(app + "/Contents/Resources");
    auto info = fnd::Dictionary::make({{fnd::Value("CFBundleIdentifier"), fnd::Value("com.korvia.test." + name)},
                                       {fnd::Value("CFBundleExecutable"), fnd::Value(name)}});
    auto bytes = *fnd::PropertyListSerialization::dataWithPropertyList(fnd::Value(info), fnd::PropertyListFormat::xml);
    std::ofstream(app + "/Contents/Info.plist", std::ios::binary) << std::string(bytes.begin(), bytes.end());
    std::ofstream(app + "/Contents/MacOS/" + name) << "executable";
    std::ofstream(app + "/Contents/Resources/data.txt") << "resource";
    return fnd::URL::fileURLWithPath(app, true);
  }

  std::shared_ptr<fnd::URL> makeSignedBundle(const std::string& name, const fnd::SigningIdentity& identity,
                                             std::shared_ptr<fnd::Dictionary> entitlements = nullptr) {
    auto url = makeBundle(name);
    auto signedBundle = fnd::CodeSigning::signBundle(url->path(), identity, entitlements);
    EXPECT_TRUE(signedBundle.hasValue());
    return url;
  }

  static inline fnd::SigningIdentity* root_ = nullptr;
  static inline fnd::SigningIdentity* team_ = nullptr;
  static inline fnd::SigningIdentity* leaf_ = nullptr;
  static inline fnd::SigningIdentity* otherLeaf_ = nullptr;
  std::string dir_;
};
