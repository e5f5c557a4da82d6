// korvia-make-distribution: the folder the installer downloads from.
//
//   korvia-make-distribution DIR --base-url URL [--client Korvia.app] [--app Chronofold.app]
//       [--identity KEY.pem --chain CHAIN.pem]
//
// Writes DIR/com.korvia.DesktopClient/Korvia.zip (the desktop client),
// DIR/apps/Chronofold.zip (the featured app) and DIR/catalogue.json, the
// desktop client's catalogue naming the app's archive under URL. The
// bundles default to those assembled beside this program. With an identity
// (korvia-codesign make-test-identities makes one) both bundles are signed
// before they are zipped; the originals stay as they are. Archives keep
// modes and symbolic links.

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/dictionary.h"
#include "foundation/array.h"
#include "foundation/code_signing.h"
#include "foundation/json_serialization.h"
#include "foundation/process.h"
#include "foundation/signing_identity.h"

namespace {

namespace fs = std::filesystem;

std::string programFolder() {
  const std::string path = fnd::currentExecutablePath();
  return path.substr(0, path.rfind('/'));
}

bool writeEntry(archive* zip, const fs::path& source, const std::string& name) {
  struct stat info {};
  if (::lstat(source.c_str(), &info) != 0) return false;
  archive_entry* entry = archive_entry_new();
  archive_entry_set_pathname_utf8(entry, name.c_str());
  archive_entry_set_perm(entry, info.st_mode & 07777);
  archive_entry_set_mtime(entry, info.st_mtime, 0);
  std::string contents;
  if (S_ISLNK(info.st_mode)) {
    archive_entry_set_filetype(entry, AE_IFLNK);
    archive_entry_set_symlink_utf8(entry, fs::read_symlink(source).c_str());
  } else if (S_ISDIR(info.st_mode)) {
    archive_entry_set_filetype(entry, AE_IFDIR);
  } else {
    archive_entry_set_filetype(entry, AE_IFREG);
    std::ifstream in(source, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    contents = text.str();
    archive_entry_set_size(entry, static_cast<la_int64_t>(contents.size()));
  }
  bool ok = archive_write_header(zip, entry) == ARCHIVE_OK;
  if (ok && !contents.empty()) ok = archive_write_data(zip, contents.data(), contents.size()) == static_cast<la_ssize_t>(contents.size());
  archive_entry_free(entry);
  return ok;
}

// The bundle, under its own name at the top of the archive.
bool zipBundle(const fs::path& bundle, const fs::path& destination) {
  fs::create_directories(destination.parent_path());
  archive* zip = archive_write_new();
  archive_write_set_format_zip(zip);
  // Quick deflate: the bundles are large in debug builds and the archive is
  // made for every test road; the size barely differs.
  archive_write_set_options(zip, "zip:compression-level=1");
  bool ok = archive_write_open_filename(zip, destination.c_str()) == ARCHIVE_OK;
  const std::string top = bundle.filename().string();
  ok = ok && writeEntry(zip, bundle, top + "/");
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(bundle, error); ok && !error && it != fs::recursive_directory_iterator();
       it.increment(error)) {
    const std::string relative = fs::relative(it->path(), bundle).string();
    ok = writeEntry(zip, it->path(), top + "/" + relative + (it->is_directory() && !it->is_symlink() ? "/" : ""));
  }
  ok = ok && !error && archive_write_close(zip) == ARCHIVE_OK;
  archive_write_free(zip);
  return ok;
}

bool writeCatalogue(const fs::path& destination, const std::string& baseURL) {
  const std::string base = fnd::URLStringWithoutTrailingSlashes(baseURL);
  auto app = fnd::Dictionary::make({{fnd::Value("id"), fnd::Value(246)},
                                    {fnd::Value("name"), fnd::Value("Chronofold")},
                                    {fnd::Value("bundle_identifier"), fnd::Value("com.chronofold.app")},
                                    {fnd::Value("bundle_name"), fnd::Value("Chronofold.app")},
                                    {fnd::Value("archive_url"), fnd::Value(base + "/apps/Chronofold.zip")}});
  auto document = fnd::Dictionary::make({{fnd::Value("apps"), fnd::Value(fnd::Array::make({fnd::Value(app)}))}});
  auto json = fnd::JSONSerialization::dataWithJSONObject(fnd::Value(document), {.prettyPrinted = true, .withoutEscapingSlashes = true});
  if (!json) return false;
  std::ofstream out(destination, std::ios::trunc);
  out << *json << "\n";
  return static_cast<bool>(out.flush());
}

// A signed copy of the bundle in `staging`.
std::optional<fs::path> signedCopy(const fs::path& bundle, const fs::path& staging, const fnd::SigningIdentity& identity) {
  const fs::path copy = staging / bundle.filename();
  std::error_code error;
  fs::remove_all(copy, error);
  fs::create_directories(staging, error);
  fs::copy(bundle, copy, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
  if (error) return std::nullopt;
  if (auto signedBundle = fnd::CodeSigning::signBundle(copy.string(), identity, nullptr); !signedBundle) {
    std::fprintf(stderr, "Cannot sign %s: %s\n", bundle.c_str(), signedBundle.error().description().c_str());
    return std::nullopt;
  }
  return copy;
}

int usage() {
  std::fprintf(stderr, "usage: korvia-make-distribution DIR --base-url URL [--client Korvia.app] [--app Chronofold.app]\n");
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const fs::path folder = argv[1];
  std::string baseURL, identityKey, identityChain;
  fs::path client = programFolder() + "/bundles/Korvia.app";
  fs::path app = programFolder() + "/bundles/Chronofold.app";
  for (int index = 2; index + 1 < argc; index += 2) {
    const std::string option = argv[index];
    if (option == "--base-url") {
      baseURL = argv[index + 1];
    } else if (option == "--client") {
      client = argv[index + 1];
    } else if (option == "--app") {
      app = argv[index + 1];
    } else if (option == "--identity") {
      identityKey = argv[index + 1];
    } else if (option == "--chain") {
      identityChain = argv[index + 1];
    } else {
      return usage();
    }
  }
  if (baseURL.empty() || (argc % 2) != 0 || identityKey.empty() != identityChain.empty()) return usage();
  for (const auto& bundle : {client, app}) {
    if (!fs::is_directory(bundle)) return std::fprintf(stderr, "No bundle at %s\n", bundle.c_str()), 66;
  }
  const fs::path staging = folder / ".staging";
  if (!identityKey.empty()) {
    auto identity = fnd::SigningIdentity::withPEMFiles(identityKey, identityChain);
    if (!identity) return std::fprintf(stderr, "No identity: %s\n", identity.error().description().c_str()), 66;
    auto signedClient = signedCopy(client, staging, *identity);
    auto signedApp = signedCopy(app, staging, *identity);
    if (!signedClient || !signedApp) return 73;
    client = *signedClient;
    app = *signedApp;
  }
  const bool written = zipBundle(client, folder / "com.korvia.DesktopClient" / "Korvia.zip") &&
                       zipBundle(app, folder / "apps" / "Chronofold.zip") && writeCatalogue(folder / "catalogue.json", baseURL);
  std::error_code ignored;
  fs::remove_all(staging, ignored);
  if (!written) {
    std::fprintf(stderr, "Cannot write the distribution into %s\n", folder.c_str());
    return 73;
  }
  std::printf("%s\n", folder.c_str());
  return 0;
}
