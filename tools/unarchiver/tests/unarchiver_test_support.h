#pragma once

// Building archives and comparing folder trees for the unarchiver's tests:
// zip archives are written with libarchive's writer, AppleDouble entries by
// hand in the platform's layout, and a sandbox keeps every temporary and
// system location of one test inside a folder of its own.

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <locale.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/extended_attributes.h"
#include "foundation/file_manager.h"
#include "tools/unarchiver/qv_apple_double.h"

namespace unarchiver_test {

inline void appendU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}
inline void putU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// The layout the platform writes: two entries (Finder information holding
// the attributes, then an empty resource fork), attribute entries aligned to
// four bytes, values after them.
inline std::vector<std::uint8_t> encodeAppleDouble(const std::vector<QVAppleDoubleAttribute>& attributes,
                                                   std::vector<std::uint8_t> finderInfo = {}) {
  finderInfo.resize(32);
  std::vector<std::uint8_t> out;
  appendU32(out, QVAppleDouble::kMagic);
  appendU32(out, QVAppleDouble::kVersion);
  out.resize(out.size() + 16);
  out.push_back(0);
  out.push_back(2);
  const std::size_t finderEntry = out.size();
  appendU32(out, QVAppleDouble::kFinderInfoEntryID);
  appendU32(out, 50);
  appendU32(out, 0);  // length, below
  const std::size_t forkEntry = out.size();
  appendU32(out, QVAppleDouble::kResourceForkEntryID);
  appendU32(out, 0);  // offset, below
  appendU32(out, 0);
  out.insert(out.end(), finderInfo.begin(), finderInfo.end());
  out.resize(out.size() + 2);
  const std::size_t header = out.size();
  appendU32(out, QVAppleDouble::kAttributesMagic);
  appendU32(out, 0);
  appendU32(out, 0);  // total size
  appendU32(out, 0);  // data start
  appendU32(out, 0);  // data length
  out.resize(out.size() + 12 + 2);
  out.push_back(static_cast<std::uint8_t>(attributes.size() >> 8));
  out.push_back(static_cast<std::uint8_t>(attributes.size()));
  std::vector<std::size_t> offsetFields;
  for (const auto& attribute : attributes) {
    offsetFields.push_back(out.size());
    appendU32(out, 0);
    appendU32(out, static_cast<std::uint32_t>(attribute.value.size()));
    out.push_back(0);
    out.push_back(0);
    out.push_back(static_cast<std::uint8_t>(attribute.name.size() + 1));
    out.insert(out.end(), attribute.name.begin(), attribute.name.end());
    out.push_back(0);
    while (out.size() % 4) out.push_back(0);
  }
  const std::size_t dataStart = out.size();
  for (std::size_t i = 0; i < attributes.size(); ++i) {
    putU32(out, offsetFields[i], static_cast<std::uint32_t>(out.size()));
    out.insert(out.end(), attributes[i].value.begin(), attributes[i].value.end());
  }
  putU32(out, header + 8, static_cast<std::uint32_t>(out.size()));
  putU32(out, header + 12, static_cast<std::uint32_t>(dataStart));
  putU32(out, header + 16, static_cast<std::uint32_t>(out.size() - dataStart));
  putU32(out, finderEntry + 8, static_cast<std::uint32_t>(out.size() - 50));
  putU32(out, forkEntry + 4, static_cast<std::uint32_t>(out.size()));
  return out;
}

inline std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

// Writes zip archives entry by entry, names taken as UTF-8.
class ZipWriter {
 public:
  explicit ZipWriter(const std::string& path) {
    locale_ = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    previous_ = ::uselocale(locale_);
    archive_ = archive_write_new();
    archive_write_set_format_zip(archive_);
    ok_ = archive_write_open_filename(archive_, path.c_str()) == ARCHIVE_OK;
  }
  ~ZipWriter() { close(); }

  ZipWriter& file(const std::string& name, std::string_view contents, mode_t mode = 0644, time_t modified = 0) {
    return add(name, AE_IFREG, mode, contents, nullptr, modified);
  }
  ZipWriter& directory(const std::string& name, mode_t mode = 0755, time_t modified = 0) {
    return add(name, AE_IFDIR, mode, {}, nullptr, modified);
  }
  ZipWriter& link(const std::string& name, const std::string& target) {
    return add(name, AE_IFLNK, 0755, {}, target.c_str(), 0);
  }
  // "__MACOSX/<folders>/._<name>" for the item `name`.
  ZipWriter& appleDouble(const std::string& name, const std::vector<std::uint8_t>& encoded) {
    const auto slash = name.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : name.substr(0, slash + 1);
    const std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
    return file("__MACOSX/" + folder + "._" + last, std::string_view(reinterpret_cast<const char*>(encoded.data()),
                                                                     encoded.size()));
  }

  bool close() {
    if (!archive_) return ok_;
    ok_ = archive_write_close(archive_) == ARCHIVE_OK && ok_;
    archive_write_free(archive_);
    archive_ = nullptr;
    ::uselocale(previous_);
    ::freelocale(locale_);
    return ok_;
  }
  bool ok() const { return ok_; }

 private:
  ZipWriter& add(const std::string& name, mode_t type, mode_t mode, std::string_view contents, const char* target,
                 time_t modified) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, name.c_str());
    archive_entry_set_filetype(entry, type);
    archive_entry_set_perm(entry, mode);
    if (modified) archive_entry_set_mtime(entry, modified, 0);
    if (target) archive_entry_set_symlink(entry, target);
    if (type == AE_IFREG) archive_entry_set_size(entry, static_cast<la_int64_t>(contents.size()));
    if (archive_write_header(archive_, entry) < ARCHIVE_WARN) ok_ = false;
    if (!contents.empty() &&
        archive_write_data(archive_, contents.data(), contents.size()) != static_cast<la_ssize_t>(contents.size())) {
      ok_ = false;
    }
    archive_entry_free(entry);
    return *this;
  }

  locale_t locale_;
  locale_t previous_;
  archive* archive_ = nullptr;
  bool ok_ = false;
};

// Clears the UTF-8 flag of every name, as archivers that know nothing of
// encodings write them.
inline void clearUTF8Flags(const std::string& path) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  std::string data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  for (std::size_t i = 0; i + 10 < data.size(); ++i) {
    if (data.compare(i, 4, "PK\x03\x04") == 0) data[i + 7] = static_cast<char>(data[i + 7] & ~0x08);
    if (data.compare(i, 4, "PK\x01\x02") == 0) data[i + 9] = static_cast<char>(data[i + 9] & ~0x08);
  }
  file.seekp(0);
  file.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// Rewrites the Unix mode (type bits included) the central directory records
// for `name`; the writer itself makes no devices.
inline void setUnixMode(const std::string& path, const std::string& name, std::uint32_t mode) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  std::string data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  for (std::size_t i = 0; i + 46 < data.size(); ++i) {
    if (data.compare(i, 4, "PK\x01\x02") != 0) continue;
    const std::size_t nameLength = static_cast<unsigned char>(data[i + 28]) | static_cast<unsigned char>(data[i + 29]) << 8;
    if (data.compare(i + 46, nameLength, name) != 0 || nameLength != name.size()) continue;
    data[i + 40] = static_cast<char>(mode & 0xFF);
    data[i + 41] = static_cast<char>(mode >> 8 & 0xFF);
  }
  file.seekp(0);
  file.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// Bytes that do not compress, so archives are as large as their content.
inline std::string noise(std::size_t size, std::uint32_t seed = 1) {
  std::string text(size, '\0');
  for (auto& c : text) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return text;
}

struct TreeItem {
  char type = '?';  // f, d, l
  unsigned mode = 0;
  std::string contents;  // file bytes or link target
  std::map<std::string, std::vector<std::uint8_t>> attributes;
  friend bool operator==(const TreeItem&, const TreeItem&) = default;
};
using Tree = std::map<std::string, TreeItem>;

inline void snapshotInto(const std::string& root, const std::string& relative, Tree& tree) {
  const std::string folder = relative.empty() ? root : root + "/" + relative;
  DIR* directory = ::opendir(folder.c_str());
  if (!directory) return;
  std::vector<std::string> names;
  while (dirent* entry = ::readdir(directory)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) names.push_back(entry->d_name);
  }
  ::closedir(directory);
  for (const auto& name : names) {
    const std::string key = relative.empty() ? name : relative + "/" + name;
    const std::string path = root + "/" + key;
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) continue;
    TreeItem item;
    item.mode = status.st_mode & 07777;
    if (S_ISLNK(status.st_mode)) {
      item.type = 'l';
      item.mode = 0;
      char target[4096];
      const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
      if (length > 0) item.contents.assign(target, static_cast<std::size_t>(length));
    } else {
      item.type = S_ISDIR(status.st_mode) ? 'd' : 'f';
      if (item.type == 'f') {
        std::ifstream file(path, std::ios::binary);
        item.contents.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
      }
      if (auto attributeNames = fnd::ExtendedAttributes::names(path, {.noFollow = true})) {
        for (const auto& attribute : *attributeNames) {
          if (auto value = fnd::ExtendedAttributes::value(path, attribute, {.noFollow = true})) {
            item.attributes[attribute] = *value;
          }
        }
      }
    }
    tree[key] = item;
    if (item.type == 'd') snapshotInto(root, key, tree);
  }
}

inline Tree snapshot(const std::string& root) {
  Tree tree;
  snapshotInto(root, "", tree);
  return tree;
}

inline std::string describe(const Tree& tree) {
  std::string text;
  for (const auto& [path, item] : tree) {
    text += path + " " + item.type + " " + std::to_string(item.mode) + " [" +
            (item.type == 'l' ? item.contents : std::to_string(item.contents.size())) + "]";
    for (const auto& [name, value] : item.attributes) text += " " + name + "=" + std::to_string(value.size());
    text += "\n";
  }
  return text;
}

// One test's own root: TMPDIR, the system root ("/Volumes", "/Applications")
// and the home folders lie inside it and are restored afterwards.
class Sandbox {
 public:
  Sandbox() {
    std::string pattern = "/tmp/korvia-unarchiver-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) root_ = pattern;
    for (const char* folder : {"/tmp", "/system", "/home", "/work"}) ::mkdir((root_ + folder).c_str(), 0755);
    set("TMPDIR", root_ + "/tmp");
    set("KORVIA_SYSTEM_ROOT", root_ + "/system");
    set("HOME", root_ + "/home");
    set("XDG_DATA_HOME", root_ + "/home/.local/share");
  }
  ~Sandbox() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
    (void)fnd::FileManager::defaultManager().removeItemAtPath(root_);
  }
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::string& root() const { return root_; }
  std::string temporary() const { return root_ + "/tmp"; }
  // Where tests keep archives and expected trees.
  std::string work() const { return root_ + "/work"; }

  void set(const std::string& name, const std::string& value) {
    if (!saved_.contains(name)) {
      const char* previous = std::getenv(name.c_str());
      saved_[name] = previous ? std::optional<std::string>(previous) : std::nullopt;
    }
    ::setenv(name.c_str(), value.c_str(), 1);
  }

 private:
  std::string root_;
  std::map<std::string, std::optional<std::string>> saved_;
};

// The whole file as text; empty when it cannot be read.
inline std::string readTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The file's lines once it holds at least `count` of them, or what it holds
// when `bound` has passed.
inline std::vector<std::string> linesOnceThereAre(const std::string& path, std::size_t count,
                                                  std::chrono::milliseconds bound = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  std::vector<std::string> lines;
  for (;;) {
    lines.clear();
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (lines.size() >= count || std::chrono::steady_clock::now() >= deadline) return lines;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// A shell program that appends its arguments, one line per run, to `log`.
inline std::string recordingScript(const std::string& log) { return "#!/bin/sh\necho \"$@\" >> '" + log + "'\n"; }
// Writes that program, executable, at `path`.
inline bool writeRecordingProgram(const std::string& path, const std::string& log) {
  {
    std::ofstream out(path, std::ios::trunc);
    out << recordingScript(log);
    if (!out.flush()) return false;
  }
  return ::chmod(path.c_str(), 0755) == 0;
}

inline std::vector<std::string> listing(const std::string& folder) {
  auto names = fnd::FileManager::defaultManager().contentsOfDirectoryAtPath(folder);
  return names ? *names : std::vector<std::string>{};
}

}  // namespace unarchiver_test
