#include "foundation/file_manager.h"

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/extended_attributes.h"
#include "foundation/number.h"

namespace fnd {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

FileManager& manager() { return FileManager::defaultManager(); }

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

std::shared_ptr<URL> fileURL(const std::string& path) { return URL::fileURLWithPath(path); }

mode_t modeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

std::optional<std::string> readText(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream) return std::nullopt;
  std::stringstream contents;
  contents << stream.rdbuf();
  return contents.str();
}

void writeText(const std::string& path, const std::string& text, mode_t mode = 0644) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

// Empty when the error is the file error expected; what differs otherwise.
std::string mismatch(const Error& error, std::int64_t code, int posixError, const std::string& path) {
  const bool matches = error.is(NSCocoaErrorDomain, code) && error.underlyingError() &&
                       error.underlyingError()->is(NSPOSIXErrorDomain, posixError) &&
                       error.userInfoValue(NSFilePathErrorKey).stringValue() == path;
  return matches ? "" : "expected " + std::to_string(code) + "/" + std::to_string(posixError) + " at " + path +
                            ", got " + error.description() + "\n";
}

template <class T>
std::string mismatch(const Expected<T>& result, std::int64_t code, int posixError, const std::string& path) {
  return result ? "unexpected success at " + path + "\n" : mismatch(result.error(), code, posixError, path);
}

#define EXPECT_FILE_ERROR(result, code, posixError, path) EXPECT_EQ(mismatch(result, code, posixError, path), "")

// A fresh folder, removed with everything in it at the end, read-only
// folders included.
class TemporaryRoot {
 public:
  explicit TemporaryRoot(const fs::path& parent = fs::temp_directory_path()) {
    std::string pattern = (parent / "fnd-files-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TemporaryRoot() {
    if (path_.empty()) return;
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
      if (it->is_directory(ignored) && !it->is_symlink(ignored)) ::chmod(it->path().c_str(), 0700);
    }
    fs::remove_all(path_, ignored);
  }
  TemporaryRoot(const TemporaryRoot&) = delete;
  TemporaryRoot& operator=(const TemporaryRoot&) = delete;

  bool valid() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  std::string path(std::string_view relative) const { return path_ + "/" + std::string(relative); }

 private:
  std::string path_;
};

// Sets an environment variable for a scope.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() {
    if (previous_) {
      ::setenv(name_, previous_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> previous_;
};

struct ChildOutcome {
  bool killed = false;
  std::string output;
};

// Runs `body` in a forked child that reports through the descriptor it is
// given, and collects what it wrote before it exited or was killed.
ChildOutcome runInChild(const std::function<void(int output)>& body) {
  int fds[2];
  if (::pipe(fds) != 0) return {false, "pipe failed"};
  pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    body(fds[1]);
    ::_exit(0);
  }
  ::close(fds[1]);
  ChildOutcome outcome;
  char buffer[256];
  ssize_t count;
  while ((count = ::read(fds[0], buffer, sizeof buffer)) > 0) outcome.output.append(buffer, static_cast<std::size_t>(count));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  outcome.killed = WIFSIGNALED(status);
  return outcome;
}

void writeString(int fd, const std::string& text) {
  if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) ::_exit(2);
}

bool supportsUserAttributes(const std::string& folder) {
  const std::string probe = folder + "/.xattr-probe";
  writeText(probe, "");
  const bool supported = ::setxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0;
  ::unlink(probe.c_str());
  return supported;
}

// A writable folder on another file system than `root`, for moves and
// replacements that cannot rename.
std::unique_ptr<TemporaryRoot> otherFileSystemRoot(const std::string& root) {
  struct stat rootInfo {};
  struct stat shmInfo {};
  if (::stat(root.c_str(), &rootInfo) != 0 || ::stat("/dev/shm", &shmInfo) != 0) return nullptr;
  if (rootInfo.st_dev == shmInfo.st_dev || ::access("/dev/shm", W_OK) != 0) return nullptr;
  auto other = std::make_unique<TemporaryRoot>("/dev/shm");
  return other->valid() ? std::move(other) : nullptr;
}

TEST(FileErrors, MapPOSIXErrorsToTheCodesOfEachSide) {
  const std::map<int, std::int64_t> reads = {{ENOENT, 260}, {ENOTDIR, 260}, {EACCES, 257}, {EPERM, 257},
                                             {ENAMETOOLONG, 258}, {EFBIG, 263}, {EIO, 256}, {ENOTSUP, 256}};
  const std::map<int, std::int64_t> writes = {{ENOENT, 4},   {ENOTDIR, 4},   {EACCES, 513}, {EPERM, 513},
                                              {EEXIST, 516}, {ENOTEMPTY, 516}, {ENOSPC, 640}, {EDQUOT, 640},
                                              {EROFS, 642},  {ENAMETOOLONG, 514}, {EIO, 512}, {ENOTSUP, 512}};
  for (const auto& [posixError, code] : reads) {
    EXPECT_FILE_ERROR(fileErrorWithPOSIXError(posixError, FileOperation::read, "/r"), code, posixError, "/r");
  }
  for (const auto& [posixError, code] : writes) {
    EXPECT_FILE_ERROR(fileErrorWithPOSIXError(posixError, FileOperation::write, "/w"), code, posixError, "/w");
  }
  EXPECT_EQ(posixErrorCode(fileErrorWithPOSIXError(EROFS, FileOperation::write, "/w")), EROFS);
  EXPECT_EQ(posixErrorCode(Error(NSPOSIXErrorDomain, EINTR)), EINTR);
  EXPECT_EQ(posixErrorCode(Error(NSCocoaErrorDomain, 512)), std::nullopt);
}

class FileManagerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(root_.valid()); }

  std::string path(std::string_view relative) const { return root_.path(relative); }

  TemporaryRoot root_;
};

TEST_F(FileManagerTest, CreatesDirectoriesWithIntermediatesAndTheirPermissions) {
  const std::string deep = path("a/b/c");
  ASSERT_TRUE(manager().createDirectoryAtPath(deep, true, {.posixPermissions = 0750}));
  for (const char* folder : {"a", "a/b", "a/b/c"}) EXPECT_EQ(modeOf(path(folder)), 0750u) << folder;
  // Existing folders are fine with intermediates and left as they are.
  ASSERT_TRUE(manager().createDirectoryAtURL(*URL::fileURLWithPath(deep, true), true, {.posixPermissions = 0700}));
  EXPECT_EQ(modeOf(deep), 0750u);

  EXPECT_FILE_ERROR(manager().createDirectoryAtPath(deep, false), 516, EEXIST, deep);
  EXPECT_FILE_ERROR(manager().createDirectoryAtPath(path("x/y"), false), 4, ENOENT, path("x/y"));
  writeText(path("file"), "in the way");
  EXPECT_FILE_ERROR(manager().createDirectoryAtPath(path("file"), true), 516, EEXIST, path("file"));
  EXPECT_FILE_ERROR(manager().createDirectoryAtPath(path("file/sub"), true), 4, ENOTDIR, path("file/sub"));
}

TEST_F(FileManagerTest, AtomicWritesReplaceContentsAndLeaveNoTemporaryFile) {
  const std::string file = path("Info.plist");
  ASSERT_TRUE(manager().createFileAtPath(file, bytesOf("first"), {.posixPermissions = 0600}));
  EXPECT_EQ(modeOf(file), 0600u);
  ASSERT_TRUE(manager().createFileAtPath(file, bytesOf("second")));
  EXPECT_EQ(readText(file), "second");
  EXPECT_EQ(manager().contentsOfDirectoryAtPath(root_.path()).value(), std::vector<std::string>{"Info.plist"});

  const mode_t mask = ::umask(022);
  ::umask(mask);
  ASSERT_TRUE(manager().createFileAtPath(path("plain"), bytesOf("x"), {}, {.atomic = false}));
  EXPECT_EQ(modeOf(path("plain")), 0666u & ~mask);
  EXPECT_EQ(manager().contentsAtPath(path("plain")).value(), bytesOf("x"));

  for (bool atomic : {true, false}) {
    EXPECT_FILE_ERROR(
        manager().createFileAtPath(file, bytesOf("third"), {}, {.atomic = atomic, .withoutOverwriting = true}), 516,
        EEXIST, file);
  }
  EXPECT_EQ(readText(file), "second");
  EXPECT_EQ(manager().contentsOfDirectoryAtPath(root_.path())->size(), 2u);
  // The temporary name beside a target must fit wherever the target's does.
  const std::string longName = path(std::string(250, 'n'));
  ASSERT_TRUE(manager().createFileAtPath(longName, bytesOf("long")));
  EXPECT_EQ(readText(longName), "long");
  EXPECT_FILE_ERROR(manager().contentsAtPath(path("missing")), 260, ENOENT, path("missing"));
  EXPECT_FILE_ERROR(manager().createFileAtPath(path("no/such/file"), bytesOf("x")), 4, ENOENT, path("no/such/file"));
}

TEST_F(FileManagerTest, CopyKeepsModesTimesSymbolicLinksAndAttributes) {
  ASSERT_TRUE(manager().createDirectoryAtPath(path("src/readonly"), true));
  writeText(path("outside.txt"), "outside");
  writeText(path("src/tool"), "binary", 0751);
  writeText(path("src/readonly/data"), "data", 0444);
  ASSERT_TRUE(manager().createSymbolicLinkAtPath(path("src/link-out"), "../outside.txt"));
  ASSERT_TRUE(manager().createSymbolicLinkAtPath(path("src/dangling"), "/nonexistent/target"));
  const bool attributes = supportsUserAttributes(root_.path());
  const Bytes tag = {'t', 0, 'g'};
  if (attributes) {
    ASSERT_TRUE(ExtendedAttributes::setValue(path("src/tool"), "com.korvia.tag", tag));
  }
  auto date = Date::dateWithTimeIntervalSince1970(1'600'000'000.5);
  ASSERT_TRUE(manager().setAttributes({.modificationDate = date}, path("src/tool")));
  ASSERT_EQ(::chmod(path("src/readonly").c_str(), 0555), 0);
  ASSERT_TRUE(manager().setAttributes({.modificationDate = date}, path("src")));

  ASSERT_TRUE(manager().copyItemAtURL(*fileURL(path("src")), *fileURL(path("dst"))));

  EXPECT_EQ(readText(path("dst/tool")), "binary");
  EXPECT_EQ(modeOf(path("dst/tool")), 0751u);
  EXPECT_EQ(modeOf(path("dst/readonly")), 0555u);
  EXPECT_EQ(modeOf(path("dst/readonly/data")), 0444u);
  EXPECT_EQ(manager().destinationOfSymbolicLinkAtPath(path("dst/link-out")).value(), "../outside.txt");
  EXPECT_EQ(manager().destinationOfSymbolicLinkAtPath(path("dst/dangling")).value(), "/nonexistent/target");
  for (const char* item : {"dst/tool", "dst"}) {
    auto copied = manager().attributesOfItemAtPath(path(item));
    ASSERT_TRUE(copied);
    EXPECT_NEAR(copied->modificationDate->timeIntervalSinceDate(*date), 0, 1e-6) << item;
  }
  if (attributes) {
    EXPECT_EQ(ExtendedAttributes::value(path("dst/tool"), "com.korvia.tag").value(), tag);
  }
}

TEST_F(FileManagerTest, CopyRefusesWhatItCannotDoAndLeavesNoHalfCopy) {
  ASSERT_TRUE(manager().createDirectoryAtPath(path("src/inner"), true));
  writeText(path("src/a"), "a");
  EXPECT_FILE_ERROR(manager().copyItemAtPath(path("missing"), path("dst")), 260, ENOENT, path("missing"));
  EXPECT_FILE_ERROR(manager().copyItemAtPath(path("src/a"), path("src/inner")), 516, EEXIST, path("src/inner"));
  EXPECT_FILE_ERROR(manager().copyItemAtPath(path("src"), path("src/inner/copy")), 512, EINVAL,
                    path("src/inner/copy"));
  EXPECT_FALSE(exists(path("src/inner/copy")));

  // A socket is no content to copy: the copy fails after "a" and takes it back.
  const std::string socketPath = path("src/z.socket");
  int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_FILE_ERROR(manager().copyItemAtPath(path("src"), path("dst")), 256, EOPNOTSUPP, socketPath);
  ::close(sock);
  EXPECT_FALSE(exists(path("dst")));
}

TEST_F(FileManagerTest, RemoveDoesNotFollowSymbolicLinksOutOfTheTree) {
  ASSERT_TRUE(manager().createDirectoryAtPath(path("outside"), true));
  writeText(path("outside/keep"), "keep");
  writeText(path("outside-file"), "keep");
  ASSERT_TRUE(manager().createDirectoryAtPath(path("tree/sub/deeper"), true));
  writeText(path("tree/sub/deeper/x"), "x");
  ASSERT_TRUE(manager().createSymbolicLinkAtPath(path("tree/sub/folder-link"), path("outside")));
  ASSERT_TRUE(manager().createSymbolicLinkAtPath(path("tree/file-link"), path("outside-file")));
  ASSERT_EQ(::chmod(path("tree/sub").c_str(), 0500), 0);

  ASSERT_TRUE(manager().createSymbolicLinkAtPath(path("top-link"), path("outside")));
  ASSERT_TRUE(manager().removeItemAtPath(path("top-link")));
  EXPECT_EQ(readText(path("outside/keep")), "keep");

  auto removed = manager().removeItemAtURL(*URL::fileURLWithPath(path("tree"), true));
  if (::geteuid() != 0) {
    // Without root, the read-only folder's contents stay; make it writable.
    EXPECT_FILE_ERROR(removed, 513, EACCES, path("tree/sub/deeper"));
    ASSERT_EQ(::chmod(path("tree/sub").c_str(), 0700), 0);
    removed = manager().removeItemAtPath(path("tree"));
  }
  ASSERT_TRUE(removed) << removed.error().description();
  EXPECT_FALSE(exists(path("tree")));
  EXPECT_EQ(readText(path("outside/keep")), "keep");
  EXPECT_EQ(readText(path("outside-file")), "keep");
  EXPECT_FILE_ERROR(manager().removeItemAtPath(path("tree")), 4, ENOENT, path("tree"));
}

TEST_F(FileManagerTest, MoveRefusesToReplaceAndCrossesFileSystems) {
  writeText(path("a"), "a");
  writeText(path("b"), "b");
  ASSERT_TRUE(manager().moveItemAtPath(path("a"), path("c")));
  EXPECT_EQ(readText(path("c")), "a");
  EXPECT_FILE_ERROR(manager().moveItemAtPath(path("c"), path("b")), 516, EEXIST, path("b"));
  EXPECT_EQ(readText(path("b")), "b");
  EXPECT_EQ(readText(path("c")), "a");
  EXPECT_FILE_ERROR(manager().moveItemAtPath(path("a"), path("d")), 4, ENOENT, path("a"));

  auto other = otherFileSystemRoot(root_.path());
  if (!other) GTEST_SKIP() << "no second writable file system";
  ASSERT_TRUE(manager().createDirectoryAtPath(path("bundle/Contents"), true));
  writeText(path("bundle/Contents/tool"), "tool", 0755);
  ASSERT_TRUE(manager().createSymbolicLinkAtPath(path("bundle/Current"), "Contents"));
  const std::string moved = other->path("bundle");
  ASSERT_TRUE(manager().moveItemAtURL(*fileURL(path("bundle")), *fileURL(moved)));
  EXPECT_FALSE(exists(path("bundle")));
  EXPECT_EQ(readText(moved + "/Contents/tool"), "tool");
  EXPECT_EQ(modeOf(moved + "/Contents/tool"), 0755u);
  EXPECT_EQ(manager().destinationOfSymbolicLinkAtPath(moved + "/Current").value(), "Contents");
}

// Relative paths and levels of a whole walk.
std::vector<std::string> walk(DirectoryEnumerator enumerator, const std::string& root,
                              const std::function<void(DirectoryEnumerator&, const std::string&)>& visit = nullptr) {
  std::vector<std::string> items;
  while (auto url = enumerator.nextObject()) {
    std::string relative = url->path().substr(root.size() + 1);
    items.push_back(relative + (url->hasDirectoryPath() ? "/" : "") + "@" + std::to_string(enumerator.level()));
    if (visit) visit(enumerator, relative);
  }
  return items;
}

TEST_F(FileManagerTest, EnumeratorWalksInPreOrderWithItsOptions) {
  for (const char* folder : {".hidden", "Tool.app/Contents", "b/d"}) ASSERT_TRUE(manager().createDirectoryAtPath(path(folder), true));
  for (const char* file : {".hidden/inner", "Tool.app/Contents/Info.plist", "a.txt", "b/c.txt", "b/d/e.txt"}) {
    writeText(path(file), file);
  }
  ASSERT_TRUE(manager().createSymbolicLinkAtPath(path("link-to-b"), path("b")));
  const auto root = URL::fileURLWithPath(root_.path(), true);

  EXPECT_EQ(walk(manager().enumeratorAtURL(*root), root_.path()),
            (std::vector<std::string>{".hidden/@1", ".hidden/inner@2", "Tool.app/@1", "Tool.app/Contents/@2",
                                      "Tool.app/Contents/Info.plist@3", "a.txt@1", "b/@1", "b/c.txt@2", "b/d/@2",
                                      "b/d/e.txt@3", "link-to-b@1"}));
  EXPECT_EQ(walk(manager().enumeratorAtURL(*root, {.skipsPackageDescendants = true, .skipsHiddenFiles = true}),
                 root_.path(), [](DirectoryEnumerator& e, const std::string& item) {
                   if (item == "b/d") e.skipDescendants();
                 }),
            (std::vector<std::string>{"Tool.app/@1", "a.txt@1", "b/@1", "b/c.txt@2", "b/d/@2", "link-to-b@1"}));
  EXPECT_EQ(walk(manager().enumeratorAtURL(*root, {.skipsSubdirectoryDescendants = true, .skipsHiddenFiles = true}),
                 root_.path()),
            (std::vector<std::string>{"Tool.app/@1", "a.txt@1", "b/@1", "link-to-b@1"}));

  auto listed = manager().contentsOfDirectoryAtURL(*root, {.skipsHiddenFiles = true});
  ASSERT_TRUE(listed);
  ASSERT_EQ(listed->size(), 4u);
  EXPECT_EQ((*listed)[0]->lastPathComponent(), "Tool.app");
  EXPECT_TRUE((*listed)[0]->hasDirectoryPath());
  EXPECT_FALSE((*listed)[3]->hasDirectoryPath());
  EXPECT_FILE_ERROR(manager().contentsOfDirectoryAtPath(path("a.txt")), 260, ENOTDIR, path("a.txt"));
}

TEST_F(FileManagerTest, EnumeratorReportsFoldersItCannotReadToItsHandler) {
  std::vector<std::string> reported;
  auto missing = manager().enumeratorAtURL(*fileURL(path("missing")), {}, [&](const URL& url, const Error& error) {
    reported.push_back(url.path());
    EXPECT_FILE_ERROR(error, 260, ENOENT, path("missing"));
    return true;
  });
  EXPECT_EQ(missing.nextObject(), nullptr);
  EXPECT_EQ(reported, std::vector<std::string>{path("missing")});

  // A folder that vanishes between being listed and being entered.
  for (const char* folder : {"x/inner", "y"}) ASSERT_TRUE(manager().createDirectoryAtPath(path(folder), true));
  for (bool goOn : {true, false}) {
    if (!exists(path("x"))) {
      ASSERT_TRUE(manager().createDirectoryAtPath(path("x/inner"), true));
    }
    int calls = 0;
    auto enumerator = manager().enumeratorAtURL(*fileURL(root_.path()), {}, [&](const URL&, const Error& error) {
      ++calls;
      EXPECT_FILE_ERROR(error, 260, ENOENT, path("x"));
      return goOn;
    });
    ASSERT_EQ(enumerator.nextObject()->lastPathComponent(), "x");
    ASSERT_TRUE(manager().removeItemAtPath(path("x")));
    auto next = enumerator.nextObject();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(next ? next->lastPathComponent() : "(end)", goOn ? "y" : "(end)");
  }
}

TEST_F(FileManagerTest, AttributesDescribeTheItemItself) {
  writeText(path("file"), "12345", 0640);
  ASSERT_TRUE(manager().createSymbolicLinkAtPath(path("link"), path("file")));
  auto file = manager().attributesOfItemAtPath(path("file"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->type, FileType::regular);
  EXPECT_EQ(file->size, 5u);
  EXPECT_EQ(file->posixPermissions, 0640);
  EXPECT_EQ(file->ownerAccountID, ::geteuid());
  EXPECT_EQ(file->referenceCount, 1u);
  if (const passwd* user = ::getpwuid(::geteuid())) {
    EXPECT_EQ(file->ownerAccountName, user->pw_name);
  }
  ASSERT_TRUE(file->modificationDate);
  auto dictionary = file->dictionary();
  EXPECT_EQ(dictionary->objectForKey(NSFileSize), Value(5));
  EXPECT_EQ(dictionary->objectForKey(NSFileType), Value(NSFileTypeRegular));
  EXPECT_EQ(dictionary->objectForKey(NSFilePosixPermissions), Value(0640));

  auto link = manager().attributesOfItemAtPath(path("link"));
  ASSERT_TRUE(link);
  EXPECT_EQ(link->type, FileType::symbolicLink);
  EXPECT_EQ(link->size, path("file").size());
  EXPECT_EQ(manager().attributesOfItemAtPath(root_.path())->type, FileType::directory);
  EXPECT_FILE_ERROR(manager().attributesOfItemAtPath(path("missing")), 260, ENOENT, path("missing"));

  bool isDirectory = true;
  EXPECT_TRUE(manager().fileExistsAtPath(path("link"), &isDirectory));
  EXPECT_FALSE(isDirectory);
  EXPECT_TRUE(manager().fileExistsAtPath(root_.path(), &isDirectory));
  EXPECT_TRUE(isDirectory);
  ASSERT_TRUE(manager().createSymbolicLinkAtPath(path("dangling"), path("missing")));
  EXPECT_FALSE(manager().fileExistsAtPath(path("dangling")));
}

TEST_F(FileManagerTest, SetAttributesWritesPermissionsAndDatesButNeverThroughALink) {
  writeText(path("file"), "x", 0644);
  auto date = Date::dateWithTimeIntervalSinceReferenceDate(123.25);
  ASSERT_TRUE(manager().setAttributes({.posixPermissions = 04700, .modificationDate = date}, path("file")));
  EXPECT_EQ(modeOf(path("file")), 04700u);
  auto read = manager().attributesOfItemAtPath(path("file"));
  ASSERT_TRUE(read);
  EXPECT_NEAR(read->modificationDate->timeIntervalSinceReferenceDate(), 123.25, 1e-6);

  ASSERT_TRUE(manager().createSymbolicLinkAtPath(path("link"), path("file")));
  ASSERT_TRUE(manager().setAttributes({.posixPermissions = 0777}, path("link")));
  EXPECT_EQ(modeOf(path("file")), 04700u);
  EXPECT_FILE_ERROR(manager().setAttributes({.posixPermissions = 0600}, path("missing")), 4, ENOENT, path("missing"));
}

TEST_F(FileManagerTest, TemporaryFoldersAreFreshAndOnTheTargetsFileSystem) {
  ScopedVariable temporary("TMPDIR", root_.path());
  EXPECT_EQ(manager().temporaryDirectory()->path(), root_.path());
  auto first = manager().createUniqueTemporaryDirectory();
  auto second = manager().createUniqueTemporaryDirectory();
  ASSERT_TRUE(first && second);
  EXPECT_NE((*first)->path(), (*second)->path());
  EXPECT_EQ((*first)->URLByDeletingLastPathComponent()->path(), root_.path());
  EXPECT_EQ(modeOf((*first)->path()), 0700u);

  ASSERT_TRUE(manager().createDirectoryAtPath(path("Applications"), true));
  auto replacement = manager().itemReplacementDirectoryAppropriateForURL(*fileURL(path("Applications/Korvia.app")));
  ASSERT_TRUE(replacement);
  EXPECT_EQ((*replacement)->URLByDeletingLastPathComponent()->path(), path("Applications"));
  EXPECT_TRUE((*replacement)->lastPathComponent().starts_with(".korvia-replacement-"));
  EXPECT_TRUE(manager().contentsOfDirectoryAtPath((*replacement)->path())->empty());
  EXPECT_FILE_ERROR(manager().itemReplacementDirectoryAppropriateForURL(*fileURL(path("none/Korvia.app"))), 4, ENOENT,
                    path("none"));
}

// Permission checks run as a user without root's override: in a child that
// gives root up, or here when the tests do not run as root.
TEST_F(FileManagerTest, PermissionDeniedIsAPermissionErrorOnEachSide) {
  ASSERT_EQ(::chmod(root_.path().c_str(), 0755), 0);
  ASSERT_TRUE(manager().createDirectoryAtPath(path("locked"), false));
  writeText(path("locked/secret"), "secret", 0600);
  auto checks = [this] {
    return mismatch(manager().createFileAtPath(path("locked/new"), bytesOf("x")), 513, EACCES, path("locked/new")) +
           mismatch(manager().contentsAtPath(path("locked/secret")), 257, EACCES, path("locked/secret")) +
           mismatch(manager().removeItemAtPath(path("locked/secret")), 513, EACCES, path("locked/secret")) +
           mismatch(manager().createDirectoryAtPath(path("locked/sub"), true), 513, EACCES, path("locked/sub"));
  };
  if (::geteuid() != 0) {
    ASSERT_EQ(::chmod(path("locked").c_str(), 0555), 0);
    ASSERT_EQ(::chmod(path("locked/secret").c_str(), 0), 0);
    EXPECT_EQ(checks(), "");
    return;
  }
  const passwd* nobody = ::getpwnam("nobody");
  if (!nobody) GTEST_SKIP() << "no unprivileged user to check permissions as";
  auto outcome = runInChild([&](int output) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0) {
      return writeString(output, "skip");
    }
    writeString(output, checks());
  });
  if (outcome.output == "skip") GTEST_SKIP() << "cannot give root up";
  EXPECT_FALSE(outcome.killed);
  EXPECT_EQ(outcome.output, "");
}

// ---------------------------------------------------------------------------
// Item replacement

class ItemReplacementTest : public FileManagerTest {
 protected:
  // The old item at the target and the new one in a replacement folder.
  void SetUp() override {
    FileManagerTest::SetUp();
    target_ = path("Korvia.app");
    writeText(target_, "old", 0640);
    auto folder = manager().itemReplacementDirectoryAppropriateForURL(*fileURL(target_));
    ASSERT_TRUE(folder);
    newItem_ = (*folder)->path() + "/Korvia.app";
    writeText(newItem_, "new", 0600);
  }

  Expected<std::shared_ptr<URL>> replace(const std::optional<std::string>& backup, ItemReplacementOptions options = {}) {
    return manager().replaceItemAtURL(*fileURL(target_), *fileURL(newItem_), backup, options);
  }

  std::string target_;
  std::string newItem_;
};

TEST_F(ItemReplacementTest, SwapsInTheNewItemAndTakesTheOriginalsPermissions) {
  auto replaced = replace(std::nullopt);
  ASSERT_TRUE(replaced) << replaced.error().description();
  EXPECT_EQ((*replaced)->path(), target_);
  EXPECT_EQ(readText(target_), "new");
  EXPECT_EQ(modeOf(target_), 0640u);
  EXPECT_FALSE(exists(newItem_));

  writeText(newItem_, "newer", 0600);
  ASSERT_TRUE(replace(std::nullopt, {.usingNewMetadataOnly = true}));
  EXPECT_EQ(readText(target_), "newer");
  EXPECT_EQ(modeOf(target_), 0600u);
}

TEST_F(ItemReplacementTest, KeepsTheBackupOnlyWhenAsked) {
  // A stale item under the backup name, even a full folder, gives way.
  ASSERT_TRUE(manager().createDirectoryAtPath(path("Korvia.bak/stale"), true));
  ASSERT_TRUE(replace("Korvia.bak", {.withoutDeletingBackupItem = true}));
  EXPECT_EQ(readText(target_), "new");
  EXPECT_EQ(readText(path("Korvia.bak")), "old");

  writeText(newItem_, "newer");
  ASSERT_TRUE(replace("Korvia.bak"));
  EXPECT_EQ(readText(target_), "newer");
  EXPECT_FALSE(exists(path("Korvia.bak")));
}

TEST_F(ItemReplacementTest, MovesIntoPlaceWhenThereIsNoOriginalAndRefusesBadRequests) {
  ASSERT_TRUE(manager().removeItemAtPath(target_));
  ASSERT_TRUE(replace("Korvia.bak"));
  EXPECT_EQ(readText(target_), "new");
  EXPECT_FALSE(exists(newItem_));

  writeText(newItem_, "newer");
  EXPECT_FILE_ERROR(replace("../escape"), 512, EINVAL, path("../escape"));
  EXPECT_FILE_ERROR(manager().replaceItemAtURL(*fileURL(target_), *fileURL(target_), std::nullopt), 512, EINVAL,
                    target_);
  EXPECT_EQ(readText(target_), "new");
  EXPECT_EQ(readText(newItem_), "newer");
  EXPECT_FILE_ERROR(manager().replaceItemAtURL(*fileURL(target_), *fileURL(path("gone")), std::nullopt), 4, ENOENT,
                    path("gone"));
}

TEST_F(ItemReplacementTest, StagesANewItemFromAnotherFileSystem) {
  auto other = otherFileSystemRoot(root_.path());
  if (!other) GTEST_SKIP() << "no second writable file system";
  newItem_ = other->path("Korvia.app");
  writeText(newItem_, "from afar", 0600);
  ASSERT_TRUE(replace("Korvia.bak"));
  EXPECT_EQ(readText(target_), "from afar");
  EXPECT_EQ(modeOf(target_), 0640u);
  EXPECT_FALSE(exists(newItem_));
  auto left = manager().contentsOfDirectoryAtPath(root_.path()).value();
  EXPECT_EQ(left.size(), 2u);  // the target and the test's own replacement folder
}

struct CrashCase {
  const char* name;
  bool folder;
  bool withoutExchange;
  std::optional<std::string> backup;
  bool keepBackup;
};

void PrintTo(const CrashCase& crash, std::ostream* stream) { *stream << crash.name; }

void makeItem(const std::string& path, bool folder, const std::string& content) {
  if (!folder) return writeText(path, content);
  ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
  writeText(path + "/payload", content);
  writeText(path + "/" + content + "-only", "");
}

// "old", "new", nothing, or "mixed" for a folder holding parts of both.
std::optional<std::string> contentOf(const std::string& path, bool folder) {
  if (!folder) return readText(path);
  auto payload = readText(path + "/payload");
  if (!payload) return exists(path) ? std::optional<std::string>("mixed") : std::nullopt;
  return exists(path + "/" + *payload + "-only") ? payload : "mixed";
}

class ReplaceCrashTest : public ::testing::TestWithParam<CrashCase> {};

// The child replaces and reports every step as one letter; it is killed
// right after step `killAt`, or finishes with "D".
ChildOutcome replaceAndDie(const std::string& target, const std::string& newItem, const CrashCase& crash, int killAt) {
  return runInChild([&](int output) {
    int seen = 0;
    ItemReplacementTesting testing;
    testing.withoutExchange = crash.withoutExchange;
    testing.afterStep = [&](ItemReplacementStep step) {
      writeString(output, std::string(1, static_cast<char>('a' + static_cast<int>(step))));
      if (seen++ == killAt) ::raise(SIGKILL);
    };
    auto replaced = manager().replaceItemAtURLForTesting(*fileURL(target), *fileURL(newItem), crash.backup,
                                                         {.withoutDeletingBackupItem = crash.keepBackup}, testing);
    writeString(output, replaced ? "D" : "F" + replaced.error().description());
  });
}

char letter(ItemReplacementStep step) { return static_cast<char>('a' + static_cast<int>(step)); }

TEST_P(ReplaceCrashTest, TheTargetHoldsTheOldOrTheNewItemWhereverTheProcessDies) {
  const CrashCase& crash = GetParam();
  for (int killAt = 0;; ++killAt) {
    SCOPED_TRACE("killed after step " + std::to_string(killAt));
    TemporaryRoot root;
    ASSERT_TRUE(root.valid());
    const std::string target = root.path("Korvia.app");
    makeItem(target, crash.folder, "old");
    auto staging = manager().itemReplacementDirectoryAppropriateForURL(*fileURL(target));
    ASSERT_TRUE(staging);
    const std::string newItem = (*staging)->path() + "/Korvia.app";
    makeItem(newItem, crash.folder, "new");

    ChildOutcome outcome = replaceAndDie(target, newItem, crash, killAt);
    ASSERT_FALSE(outcome.output.empty());
    if (!outcome.killed) {
      ASSERT_EQ(outcome.output.back(), 'D') << outcome.output;
      EXPECT_GT(killAt, 0);
      EXPECT_EQ(contentOf(target, crash.folder), "new");
      EXPECT_EQ(outcome.output.find(letter(ItemReplacementStep::exchanged)) != std::string::npos,
                !crash.withoutExchange);
      const std::string backup = crash.backup ? root.path(*crash.backup) : "";
      if (crash.keepBackup) {
        EXPECT_EQ(contentOf(backup, crash.folder), "old");
      } else if (crash.backup) {
        EXPECT_FALSE(exists(backup));
      }
      EXPECT_EQ(manager().contentsOfDirectoryAtPath(root.path())->size(), crash.keepBackup ? 3u : 2u);
      EXPECT_TRUE(manager().contentsOfDirectoryAtPath((*staging)->path())->empty());
      break;
    }
    const char step = outcome.output.back();
    auto content = contentOf(target, crash.folder);
    if (step == letter(ItemReplacementStep::originalMovedAside)) {
      // Without exchange a folder is away for one rename, and kept meanwhile.
      EXPECT_EQ(content, std::nullopt);
      std::string aside = crash.backup ? root.path(*crash.backup) : "";
      const auto names = manager().contentsOfDirectoryAtPath(root.path()).value();
      for (const auto& name : names) {
        if (name.starts_with(".korvia-replaced-")) aside = root.path(name);
      }
      EXPECT_EQ(contentOf(aside, crash.folder), "old");
      continue;
    }
    ASSERT_TRUE(content.has_value()) << "the target is missing after step " << step;
    EXPECT_TRUE(*content == "old" || *content == "new") << *content;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Replacements, ReplaceCrashTest,
    ::testing::Values(CrashCase{"FileByExchange", false, false, std::nullopt, false},
                      CrashCase{"FileByExchangeKeepingBackup", false, false, "Korvia.bak", true},
                      CrashCase{"FolderByExchangeWithBackup", true, false, "Korvia.bak", false},
                      CrashCase{"FileByRenameWithBackup", false, true, "Korvia.bak", false},
                      CrashCase{"FolderByRename", true, true, std::nullopt, false},
                      CrashCase{"FolderByRenameKeepingBackup", true, true, "Korvia.bak", true}),
    [](const ::testing::TestParamInfo<CrashCase>& param) { return std::string(param.param.name); });

// ---------------------------------------------------------------------------
// Extended attributes

class ExtendedAttributesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const fs::path& parent : {fs::temp_directory_path(), fs::current_path()}) {
      auto root = std::make_unique<TemporaryRoot>(parent);
      if (root->valid() && supportsUserAttributes(root->path())) {
        root_ = std::move(root);
        break;
      }
    }
    if (!root_) GTEST_SKIP() << "neither the temporary folder nor the build folder keeps user extended attributes";
    file_ = root_->path("Korvia.app");
    writeText(file_, "bundle");
  }

  std::unique_ptr<TemporaryRoot> root_;
  std::string file_;
};

TEST_F(ExtendedAttributesTest, BinaryValuesRoundTripUnderTheUserNamespace) {
  Bytes quarantine = {0x00, 0xFF, 0x01, 0x00, 'q', 0x80};
  for (int i = 0; i < 3000; ++i) quarantine.push_back(static_cast<std::uint8_t>(i * 7));
  ASSERT_TRUE(ExtendedAttributes::setValue(file_, "com.apple.quarantine", quarantine));
  ASSERT_TRUE(ExtendedAttributes::setValue(file_, "user.lumberjack.log.archived", {}));
  EXPECT_EQ(ExtendedAttributes::value(file_, "com.apple.quarantine").value(), quarantine);
  EXPECT_EQ(ExtendedAttributes::value(file_, "lumberjack.log.archived").value(), Bytes{});
  EXPECT_EQ(::getxattr(file_.c_str(), "user.com.apple.quarantine", nullptr, 0), static_cast<ssize_t>(quarantine.size()));

  // Root may write the trusted namespace; the platform's view never shows it.
  ::setxattr(file_.c_str(), "trusted.korvia", "x", 1, 0);
  EXPECT_EQ(ExtendedAttributes::names(file_).value(),
            (std::vector<std::string>{"com.apple.quarantine", "lumberjack.log.archived"}));

  ASSERT_TRUE(ExtendedAttributes::remove(file_, "com.apple.quarantine"));
  EXPECT_EQ(ExtendedAttributes::names(file_).value(), std::vector<std::string>{"lumberjack.log.archived"});
}

TEST_F(ExtendedAttributesTest, MissingAttributesAndConflictsAreClearErrors) {
  auto missing = ExtendedAttributes::value(file_, "com.apple.quarantine");
  EXPECT_FILE_ERROR(missing, 256, ENODATA, file_);
  ASSERT_FALSE(missing);
  EXPECT_TRUE(ExtendedAttributes::isNoSuchAttributeError(missing.error()));
  EXPECT_NE(missing.error().userInfoValue(NSDebugDescriptionErrorKey).stringValue()->find("com.apple.quarantine"),
            std::string::npos);
  EXPECT_FILE_ERROR(ExtendedAttributes::remove(file_, "com.apple.quarantine"), 512, ENODATA, file_);
  EXPECT_FILE_ERROR(ExtendedAttributes::setValue(file_, "tag", bytesOf("a"), {.replaceOnly = true}), 512, ENODATA,
                    file_);
  ASSERT_TRUE(ExtendedAttributes::setValue(file_, "tag", bytesOf("a"), {.createOnly = true}));
  EXPECT_FILE_ERROR(ExtendedAttributes::setValue(file_, "tag", bytesOf("b"), {.createOnly = true}), 516, EEXIST, file_);
  EXPECT_EQ(ExtendedAttributes::value(file_, "tag").value(), bytesOf("a"));
  EXPECT_FILE_ERROR(ExtendedAttributes::value(file_, ""), 256, EINVAL, file_);
  const std::string absent = root_->path("absent");
  EXPECT_FILE_ERROR(ExtendedAttributes::names(absent), 260, ENOENT, absent);
}

TEST_F(ExtendedAttributesTest, NoFollowActsOnTheLinkItself) {
  const std::string link = root_->path("link");
  ASSERT_TRUE(manager().createSymbolicLinkAtPath(link, file_));
  ASSERT_TRUE(ExtendedAttributes::setValue(link, "through", bytesOf("1")));
  EXPECT_EQ(ExtendedAttributes::value(file_, "through").value(), bytesOf("1"));
  EXPECT_EQ(ExtendedAttributes::names(link).value(), std::vector<std::string>{"through"});
  EXPECT_TRUE(ExtendedAttributes::names(link, {.noFollow = true})->empty());
  // Linux keeps user attributes off links.
  EXPECT_FILE_ERROR(ExtendedAttributes::setValue(link, "on-link", bytesOf("1"), {.noFollow = true}), 513, EPERM, link);
}

TEST(ExtendedAttributesUnsupported, AFileSystemWithoutThemGivesENOTSUP) {
  const std::string procFile = "/proc/self/comm";
  if (::setxattr(procFile.c_str(), "user.probe", "1", 1, 0) == 0 || errno != ENOTSUP) {
    GTEST_SKIP() << "no file system without user attributes at " << procFile;
  }
  auto set = ExtendedAttributes::setValue(procFile, "com.apple.quarantine", bytesOf("1"));
  EXPECT_FILE_ERROR(set, 512, ENOTSUP, procFile);
  ASSERT_FALSE(set);
  EXPECT_TRUE(ExtendedAttributes::isUnsupportedError(set.error()));
  EXPECT_FILE_ERROR(ExtendedAttributes::value(procFile, "com.apple.quarantine"), 256, ENOTSUP, procFile);
}

}  // namespace
}  // namespace fnd
