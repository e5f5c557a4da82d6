#include "logging/dd_log_message.h"

#include <pthread.h>
#include <unistd.h>

#include <string_view>
#include <utility>

#include "foundation/queue.h"

namespace {

std::string fileNameOf(std::string_view path) {
  if (auto slash = path.rfind('/'); slash != std::string_view::npos) path.remove_prefix(slash + 1);
  // A leading dot names a hidden file, not an extension.
  if (auto dot = path.rfind('.'); dot != std::string_view::npos && dot > 0) path = path.substr(0, dot);
  return std::string(path);
}

std::string currentThreadName() {
  char name[64] = {};
  if (pthread_getname_np(pthread_self(), name, sizeof name) != 0) return {};
  return name;
}

}  // namespace

DDLogMessage::DDLogMessage(std::string message, DDLogLevel level, DDLogFlag flag, long context, std::string file,
                           std::string function, unsigned line, fnd::Value tag, DDLogMessageOptions options,
                           std::shared_ptr<fnd::Date> timestamp)
    : message_(std::move(message)),
      level_(level),
      flag_(flag),
      context_(context),
      file_(std::move(file)),
      fileName_(fileNameOf(file_)),
      function_(std::move(function)),
      line_(line),
      tag_(std::move(tag)),
      options_(options),
      timestamp_(timestamp ? std::move(timestamp) : fnd::Date::now()),
      threadID_(std::to_string(gettid())),
      threadName_(currentThreadName()),
      queueLabel_(fnd::Queue::currentLabel()) {}
