// korvia-codesign: signs app bundles, checks their signatures against
// requirements, and makes the test chain (root, team intermediate, leaf) that
// tests and the demo sign with.
//
//   korvia-codesign sign --identity KEY.pem --chain CHAIN.pem [--entitlements E.plist] X.app
//   korvia-codesign verify [-R REQUIREMENT] X.app
//   korvia-codesign make-test-identities DIR
//
// Exit status 0 on success, 1 when the signature is invalid or an operation
// failed (the error on the standard error stream), 2 for a usage mistake.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/code_signing.h"
#include "foundation/crypto.h"
#include "foundation/file_manager.h"
#include "foundation/format.h"
#include "foundation/property_list.h"
#include "foundation/signing_identity.h"

namespace {

constexpr int kExitInvalid = 1;
constexpr int kExitUsage = 2;
// The product maker's team, as the team requirement names it.
constexpr char kTestTeamIdentifier[] = "K7QW2ZP9XD";

int usage() {
  std::fputs(
      "usage: korvia-codesign sign --identity KEY.pem --chain CHAIN.pem [--entitlements E.plist] X.app\n"
      "       korvia-codesign verify [-R REQUIREMENT] X.app\n"
      "       korvia-codesign make-test-identities DIR\n",
      stderr);
  return kExitUsage;
}

int fail(std::string_view what, const fnd::Error& error) {
  auto detail = error.userInfoValue(fnd::NSDebugDescriptionErrorKey).stringValue();
  auto message = fnd::CodeSigning::messageForStatus(error.code());
  std::fprintf(stderr, "korvia-codesign: %s: %s (%s %lld)%s%s\n", std::string(what).c_str(),
               message.value_or(error.localizedDescription()).c_str(), error.domain().c_str(),
               static_cast<long long>(error.code()), detail ? ": " : "", detail ? detail->c_str() : "");
  return kExitInvalid;
}

fnd::Expected<std::shared_ptr<fnd::Dictionary>> readEntitlements(const std::string& path) {
  auto bytes = fnd::FileManager::defaultManager().contentsAtPath(path);
  if (!bytes) return bytes.error();
  auto plist = fnd::PropertyListSerialization::propertyListWithData(*bytes);
  if (!plist) return plist.error();
  auto entitlements = plist->as<fnd::Dictionary>();
  if (!entitlements) return fnd::Error(fnd::NSCocoaErrorDomain, fnd::NSPropertyListReadCorruptError);
  return entitlements;
}

int sign(const std::vector<std::string>& arguments) {
  std::optional<std::string> identity, chain, entitlementsPath, bundle;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    if (argument == "--identity" && hasValue) {
      identity = arguments[++i];
    } else if (argument == "--chain" && hasValue) {
      chain = arguments[++i];
    } else if (argument == "--entitlements" && hasValue) {
      entitlementsPath = arguments[++i];
    } else if (!argument.starts_with("-") && !bundle) {
      bundle = argument;
    } else {
      return usage();
    }
  }
  if (!identity || !chain || !bundle) return usage();
  auto signer = fnd::SigningIdentity::withPEMFiles(*identity, *chain);
  if (!signer) return fail("cannot read the identity", signer.error());
  std::shared_ptr<fnd::Dictionary> entitlements;
  if (entitlementsPath) {
    auto read = readEntitlements(*entitlementsPath);
    if (!read) return fail("cannot read the entitlements", read.error());
    entitlements = *read;
  }
  if (auto signedBundle = fnd::CodeSigning::signBundle(*bundle, *signer, entitlements); !signedBundle) {
    return fail(*bundle, signedBundle.error());
  }
  return 0;
}

int verify(const std::vector<std::string>& arguments) {
  std::optional<std::string> requirementText, bundle;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "-R" && i + 1 < arguments.size()) {
      requirementText = arguments[++i];
    } else if (!arguments[i].starts_with("-") && !bundle) {
      bundle = arguments[i];
    } else {
      return usage();
    }
  }
  if (!bundle) return usage();
  std::shared_ptr<const fnd::Requirement> requirement;
  if (requirementText && !requirementText->empty()) {
    auto compiled = fnd::Requirement::createWithString(*requirementText);
    if (!compiled) return fail("invalid requirement", compiled.error());
    requirement = *compiled;
  }
  auto code = fnd::StaticCode::createWithPath(*fnd::URL::fileURLWithPath(*bundle, true));
  if (!code) return fail(*bundle, code.error());
  auto valid = fnd::CodeSigning::checkValidity(**code, fnd::kSecCSCheckAllArchitectures, requirement.get());
  if (!valid) return fail(*bundle, valid.error());
  std::printf("%s: valid on disk%s\n", bundle->c_str(), requirement ? ", satisfies its requirement" : "");
  return 0;
}

fnd::Expected<void> writeText(const std::string& path, const std::string& text) {
  return fnd::FileManager::defaultManager().createFileAtPath(path, fnd::crypto::bytesOf(text));
}

fnd::Expected<void> writeIdentity(const std::string& directory, const std::string& name,
                                  const fnd::SigningIdentity& identity) {
  if (auto key = writeText(directory + "/" + name + "-key.pem", identity.privateKeyPEM()); !key) return key;
  return writeText(directory + "/" + name + ".pem", identity.certificatePEM());
}

int makeTestIdentities(const std::vector<std::string>& arguments) {
  if (arguments.size() != 1) return usage();
  const std::string& directory = arguments[0];
  if (auto made = fnd::FileManager::defaultManager().createDirectoryAtPath(directory, true); !made) {
    return fail(directory, made.error());
  }
  const auto now = fnd::Clock::current().wallNow();
  const auto day = std::chrono::hours(24);
  const std::string team = kTestTeamIdentifier;
  auto root = fnd::SigningIdentity::issue({{{"CN", "Korvia Test Root CA"}, {"O", "Korvia Test"}}, true, now - day,
                                           now + 3650 * day},
                                          nullptr);
  if (!root) return fail("cannot issue the root", root.error());
  auto intermediate = fnd::SigningIdentity::issue(
      {{{"CN", "Korvia Test Team " + team}, {"OU", team}, {"O", "Korvia Test"}}, true, now - day, now + 1825 * day},
      &*root);
  if (!intermediate) return fail("cannot issue the team intermediate", intermediate.error());
  auto leaf = fnd::SigningIdentity::issue(
      {{{"CN", "Korvia Test Developer (" + team + ")"}, {"OU", team}, {"O", "Korvia Test"}}, false, now - day,
       now + 730 * day},
      &*intermediate);
  if (!leaf) return fail("cannot issue the leaf", leaf.error());
  for (const auto& [name, identity] : {std::pair{"root", &*root}, {"team", &*intermediate}, {"leaf", &*leaf}}) {
    if (auto written = writeIdentity(directory, name, *identity); !written) return fail(directory, written.error());
  }
  // The leaf's chain, as `sign --chain` takes it: leaf, intermediate, root.
  if (auto written = writeText(directory + "/chain.pem", leaf->chainPEM()); !written) {
    return fail(directory, written.error());
  }
  std::printf("%s/root.pem is the anchor: export %s=%s/root.pem\n", directory.c_str(),
              std::string(fnd::kCodeSignatureAnchorEnvironment).c_str(), directory.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string command = argv[1];
  const std::vector<std::string> arguments(argv + 2, argv + argc);
  if (command == "sign") return sign(arguments);
  if (command == "verify") return verify(arguments);
  if (command == "make-test-identities") return makeTestIdentities(arguments);
  return usage();
}
