#pragma once

// A reference to a file that follows it when it is moved or renamed within
// its file system: the file's (device, inode) identity plus the path where
// it was last seen. When the file is no longer there, it is looked for in
// the folders above that path and in the applications folders, so an app
// bundle that the user moves stays the same app instance.
//
// Like every record, a reference is not safe to share between threads: a
// resolution remembers the path it found.

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>

#include "foundation/object.h"
#include "foundation/url.h"
#include "tools/qv_value_transformer.h"

class AFXFileReferenceURL final : public fnd::Object {
 public:
  static const fnd::Class& staticClass();

  // Null when nothing exists at the URL's path (or it is no file URL).
  static std::shared_ptr<AFXFileReferenceURL> fileReferenceURLWithURL(const fnd::URL& url);

  // The file's current path, or null when it cannot be found any more (or
  // has been replaced by another file).
  std::shared_ptr<fnd::URL> filePathURL() const;
  // The last path where the file was seen.
  std::shared_ptr<fnd::URL> lastKnownFilePathURL() const;

  dev_t device() const { return device_; }
  ino_t inode() const { return inode_; }

  const fnd::Class& objectClass() const override { return staticClass(); }
  // The same file, wherever it is now.
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;
  std::string description() const override;

 private:
  AFXFileReferenceURL(dev_t device, ino_t inode, std::string path, bool isDirectory)
      : device_(device), inode_(inode), lastKnownPath_(std::move(path)), isDirectory_(isDirectory) {}
  bool identifies(const std::string& path) const;
  std::optional<std::string> search() const;

  dev_t device_;
  ino_t inode_;
  mutable std::string lastKnownPath_;
  bool isDirectory_;
};

// Archives file references as their file path URLs (the reference when it no
// longer resolves), and makes references of decoded paths again (the path
// URL when nothing is there).
class AFXFileReferenceURLToFilePathURLValueTransformer final : public QVValueTransformer {
 public:
  static std::shared_ptr<const AFXFileReferenceURLToFilePathURLValueTransformer> shared();

  fnd::Value transformedValue(const fnd::Value& value) const override;
  bool allowsReverseTransformation() const override { return true; }
  fnd::Value reverseTransformedValue(const fnd::Value& value) const override;
  std::vector<const fnd::Class*> archivedClasses() const override { return {&fnd::URL::staticClass()}; }
};

// Where a copy of an app is lost for monitoring: in the Trash (a "/.Trash/"
// or "/.Trash-<uid>/" folder, or the user's $XDG_DATA_HOME/Trash) or inside a
// backup (a ".backupdb" folder, a folder beside a "_CCC SafetyNet" item, or a
// ".wrpN" folder).
bool inTrash(const fnd::URL& url);
bool inBackup(const fnd::URL& url);
bool isLostForMonitoring(const fnd::URL& url);
