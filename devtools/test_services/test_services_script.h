#pragma once

// What korvia-test-services answers, and what it was asked. A test writes a
// script (per service operation: the response's fields or an error, the
// reports to send first and the notifications to post before answering),
// starts the process, and reads back the calls it logged. The script is
// read again for every call, so a test may change it between calls.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "foundation/dictionary.h"
#include "foundation/error.h"
#include "foundation/expected.h"
#include "foundation/value.h"
#include "interface/services/afx_service_family.h"

namespace korvia_test_services {

struct ScriptedNotification {
  std::string name;
  std::optional<std::string> object;
  std::shared_ptr<fnd::Dictionary> userInfo;
};

struct ScriptedAnswer {
  // The response's own fields in table order; nil for a field left unset.
  std::vector<fnd::Value> fields = {};
  std::optional<fnd::Error> error = {};
  std::vector<std::vector<fnd::Value>> reports = {};
  std::vector<ScriptedNotification> notifications = {};
  // Never answers (for time-out and termination tests).
  bool hang = false;
};

struct Script {
  // By service operation name ("fetchAppWithID:callback:").
  std::map<std::string, ScriptedAnswer> answers;
};

struct LoggedCall {
  std::string operation;
  std::string serviceName;
  std::vector<fnd::Value> arguments;
  bool hadReportStream = false;

  // The argument of that key of the operation's request.
  const fnd::Value& argument(const AFXServiceFamily& family, std::string_view key) const;
};

// The five families the process publishes.
const std::vector<const AFXServiceFamily*>& publishedFamilies();
// Every class a script or log may hold.
std::vector<const fnd::Class*> scriptClasses();

[[nodiscard]] fnd::Expected<void> writeScript(const Script& script, const std::string& path);
[[nodiscard]] fnd::Expected<Script> readScript(const std::string& path);

[[nodiscard]] fnd::Expected<void> writeCall(const LoggedCall& call, const std::string& path);
// The calls of the log folder, in the order they arrived.
std::vector<LoggedCall> readCalls(const std::string& folder);

}  // namespace korvia_test_services
