// korvia-archive: prints keyed archives as archive JSON and writes archive
// JSON back as keyed archives.
//
//   korvia-archive decode FILE [--allow NAME[,NAME...]]
//   korvia-archive encode FILE.json [-o OUT]

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "devtools/archive_json.h"
#include "foundation/error.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"
#include "interface/apps_management/model/afx_apps_management_model.h"

namespace {

constexpr int kFailure = 1;
constexpr int kUsage = 2;

int usage() {
  std::cerr << "usage: korvia-archive decode FILE [--allow NAME[,NAME...]]\n"
               "       korvia-archive encode FILE.json [-o OUT]\n";
  return kUsage;
}

int report(const fnd::Error& error) {
  const auto debug = error.userInfoValue(fnd::NSDebugDescriptionErrorKey).stringValue();
  std::cerr << "error: " << error.domain() << " " << error.code() << ": "
            << (debug ? *debug : error.localizedDescription()) << "\n";
  return kFailure;
}

fnd::Expected<std::string> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return fnd::Error(fnd::NSCocoaErrorDomain, 260,
                      {{fnd::Value(fnd::NSDebugDescriptionErrorKey), fnd::Value("cannot read " + path)}});
  }
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fnd::Expected<fnd::KeyedUnarchiver::ClassList> allowedClasses(const std::string& names) {
  fnd::KeyedUnarchiver::ClassList classes;
  std::stringstream list(names);
  for (std::string name; std::getline(list, name, ',');) {
    const fnd::Class* cls = fnd::Class::named(name);
    if (!cls) {
      return fnd::Error(fnd::NSCocoaErrorDomain, fnd::NSCoderReadCorruptError,
                        {{fnd::Value(fnd::NSDebugDescriptionErrorKey), fnd::Value("unknown class " + name)}});
    }
    classes.push_back(cls);
  }
  return classes;
}

int decode(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return usage();
  fnd::KeyedUnarchiver::ClassList classes = fnd::KeyedUnarchiver::platformClasses();
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] != "--allow" || i + 1 >= arguments.size()) return usage();
    auto allowed = allowedClasses(arguments[++i]);
    if (!allowed) return report(allowed.error());
    classes = std::move(*allowed);
  }
  auto bytes = readFile(arguments[0]);
  if (!bytes) return report(bytes.error());
  auto root = fnd::KeyedUnarchiver::unarchivedObjectOfClasses(
      classes, std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()));
  if (!root) return report(root.error());
  auto json = korvia::devtools::archiveJSONFromValue(*root);
  if (!json) return report(json.error());
  std::cout << *json << "\n";
  return 0;
}

int encode(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return usage();
  std::string output;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] != "-o" || i + 1 >= arguments.size()) return usage();
    output = arguments[++i];
  }
  auto text = readFile(arguments[0]);
  if (!text) return report(text.error());
  auto root = korvia::devtools::valueFromArchiveJSON(*text);
  if (!root) return report(root.error());
  auto archive = fnd::KeyedArchiver::archivedDataWithRootObject(*root);
  if (!archive) return report(archive.error());
  if (output.empty()) {
    std::cout.write(reinterpret_cast<const char*>(archive->data()), static_cast<std::streamsize>(archive->size()));
    return std::cout.good() ? 0 : kFailure;
  }
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(archive->data()), static_cast<std::streamsize>(archive->size()));
  if (!out.good()) {
    return report(fnd::Error(fnd::NSCocoaErrorDomain, 512,
                             {{fnd::Value(fnd::NSDebugDescriptionErrorKey), fnd::Value("cannot write " + output)}}));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  // The product's record classes, so that --allow can name them.
  AFXRegisterAppsManagementModelClasses();
  const std::string command = argv[1];
  const std::vector<std::string> arguments(argv + 2, argv + argc);
  if (command == "decode") return decode(arguments);
  if (command == "encode") return encode(arguments);
  return usage();
}
