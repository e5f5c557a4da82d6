#include "devtools/test_services/test_services_script.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "foundation/array.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"
#include "foundation/null.h"
#include "foundation/number.h"
#include "foundation/string.h"
#include "interface/apps_management/afx_apps_management_family.h"
#include "interface/errors/afx_errors.h"
#include "interface/recommendations/afx_recommendations_family.h"
#include "interface/remote_configuration/afx_remote_configuration_family.h"
#include "interface/system_management/afx_system_management_family.h"
#include "interface/ui_management/afx_ui_management_family.h"

namespace korvia_test_services {
namespace {

namespace fs = std::filesystem;

// Arrays cannot hold nil.
fnd::Value boxed(const fnd::Value& value) { return value.isNil() ? fnd::Value(fnd::Null::null()) : value; }
fnd::Value unboxed(const fnd::Value& value) { return value.as<fnd::Null>() ? fnd::Value() : value; }

std::shared_ptr<fnd::Array> boxedArray(const std::vector<fnd::Value>& values) {
  std::vector<fnd::Value> boxedValues;
  boxedValues.reserve(values.size());
  for (const auto& value : values) boxedValues.push_back(boxed(value));
  return fnd::Array::make(std::move(boxedValues));
}

std::vector<fnd::Value> unboxedArray(const fnd::Value& value) {
  std::vector<fnd::Value> values;
  if (const auto array = value.as<fnd::Array>()) {
    for (const auto& element : array->elements()) values.push_back(unboxed(element));
  }
  return values;
}

fnd::Expected<void> writeArchive(const fnd::Value& root, const std::string& path) {
  auto bytes = fnd::KeyedArchiver::archivedDataWithRootObject(root);
  if (!bytes) return bytes.error();
  const std::string temporary = path + ".partial";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
    if (!file) return afx_makeFailedDiskOperation("write " + temporary, std::nullopt);
  }
  // Readers never see half a file.
  std::error_code error;
  fs::rename(temporary, path, error);
  if (error) return afx_makeFailedDiskOperation("rename " + temporary, std::nullopt);
  return fnd::success();
}

fnd::Expected<std::shared_ptr<fnd::Dictionary>> readArchive(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return afx_makeFailedDiskOperation("read " + path, std::nullopt);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  auto root = fnd::KeyedUnarchiver::unarchivedObjectOfClasses(scriptClasses(), bytes);
  if (!root) return root.error();
  auto dictionary = root->as<fnd::Dictionary>();
  if (!dictionary) return afx_makeErrorOfMissingObjectOfKind("dictionary in " + path);
  return dictionary;
}

fnd::Value encodeAnswer(const ScriptedAnswer& answer) {
  std::vector<fnd::Value> reports;
  for (const auto& report : answer.reports) reports.push_back(fnd::Value(boxedArray(report)));
  std::vector<fnd::Value> notifications;
  for (const auto& notification : answer.notifications) {
    notifications.push_back(fnd::Value(fnd::Dictionary::make({
        {fnd::Value("name"), fnd::Value(notification.name)},
        {fnd::Value("object"), boxed(notification.object ? fnd::Value(*notification.object) : fnd::Value())},
        {fnd::Value("userInfo"), boxed(fnd::Value(notification.userInfo))},
    })));
  }
  return fnd::Value(fnd::Dictionary::make({
      {fnd::Value("fields"), fnd::Value(boxedArray(answer.fields))},
      {fnd::Value("error"), boxed(answer.error ? fnd::Value(*answer.error) : fnd::Value())},
      {fnd::Value("reports"), fnd::Value(fnd::Array::make(std::move(reports)))},
      {fnd::Value("notifications"), fnd::Value(fnd::Array::make(std::move(notifications)))},
      {fnd::Value("hang"), fnd::Value(answer.hang)},
  }));
}

ScriptedAnswer decodeAnswer(const fnd::Dictionary& entry) {
  ScriptedAnswer answer;
  answer.fields = unboxedArray(entry.objectForKey("fields"));
  answer.error = unboxed(entry.objectForKey("error")).errorValue();
  for (const auto& report : unboxedArray(entry.objectForKey("reports"))) answer.reports.push_back(unboxedArray(report));
  for (const auto& value : unboxedArray(entry.objectForKey("notifications"))) {
    const auto notification = value.as<fnd::Dictionary>();
    if (!notification) continue;
    const auto name = notification->objectForKey("name").stringValue();
    if (!name) continue;
    answer.notifications.push_back({*name, unboxed(notification->objectForKey("object")).stringValue(),
                                    unboxed(notification->objectForKey("userInfo")).as<fnd::Dictionary>()});
  }
  answer.hang = entry.objectForKey("hang").boolValue().value_or(false);
  return answer;
}

}  // namespace

const fnd::Value& LoggedCall::argument(const AFXServiceFamily& family, std::string_view key) const {
  static const fnd::Value none;
  const auto* row = family.operationNamed(operation);
  if (!row) return none;
  const auto index = row->requestType().indexOfKey(key);
  return index && *index < arguments.size() ? arguments[*index] : none;
}

const std::vector<const AFXServiceFamily*>& publishedFamilies() {
  static const std::vector<const AFXServiceFamily*> families = {
      &AFXSystemManagementFamily(), &AFXAppsManagementFamily(), &AFXUIManagementFamily(),
      &AFXRemoteConfigurationFamily(), &AFXRecommendationsFamily()};
  return families;
}

std::vector<const fnd::Class*> scriptClasses() {
  std::vector<const fnd::Class*> classes = fnd::KeyedUnarchiver::platformClasses();
  const auto add = [&](const fnd::Class* cls) {
    if (std::find(classes.begin(), classes.end(), cls) == classes.end()) classes.push_back(cls);
  };
  for (const auto* family : publishedFamilies()) {
    for (const auto& operation : family->operations()) {
      for (const auto* type : {&operation.requestType(), &operation.responseType(), operation.reportType()}) {
        if (!type) continue;
        for (const auto& field : type->fields) {
          for (const auto getter : field.classes) add(&getter());
        }
      }
    }
  }
  return classes;
}

fnd::Expected<void> writeScript(const Script& script, const std::string& path) {
  std::vector<fnd::Dictionary::Entry> entries;
  for (const auto& [operation, answer] : script.answers) entries.push_back({fnd::Value(operation), encodeAnswer(answer)});
  return writeArchive(fnd::Value(fnd::Dictionary::make(std::move(entries))), path);
}

fnd::Expected<Script> readScript(const std::string& path) {
  auto dictionary = readArchive(path);
  if (!dictionary) return dictionary.error();
  Script script;
  for (const auto& [key, value] : (*dictionary)->entries()) {
    const auto operation = key.stringValue();
    const auto entry = value.as<fnd::Dictionary>();
    if (operation && entry) script.answers[*operation] = decodeAnswer(*entry);
  }
  return script;
}

fnd::Expected<void> writeCall(const LoggedCall& call, const std::string& path) {
  return writeArchive(fnd::Value(fnd::Dictionary::make({
                          {fnd::Value("operation"), fnd::Value(call.operation)},
                          {fnd::Value("serviceName"), fnd::Value(call.serviceName)},
                          {fnd::Value("arguments"), fnd::Value(boxedArray(call.arguments))},
                          {fnd::Value("hadReportStream"), fnd::Value(call.hadReportStream)},
                      })),
                      path);
}

std::vector<LoggedCall> readCalls(const std::string& folder) {
  std::vector<std::string> paths;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.path().extension() == ".plist") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<LoggedCall> calls;
  for (const auto& path : paths) {
    auto dictionary = readArchive(path);
    if (!dictionary) continue;
    LoggedCall call;
    call.operation = (*dictionary)->objectForKey("operation").stringValue().value_or("");
    call.serviceName = (*dictionary)->objectForKey("serviceName").stringValue().value_or("");
    call.arguments = unboxedArray((*dictionary)->objectForKey("arguments"));
    call.hadReportStream = (*dictionary)->objectForKey("hadReportStream").boolValue().value_or(false);
    calls.push_back(std::move(call));
  }
  return calls;
}

}  // namespace korvia_test_services
