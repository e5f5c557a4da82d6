#include "logging/dd_log.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/check.h"
#include "foundation/group.h"
#include "foundation/queue.h"
#include "foundation/semaphore.h"
#include "logging/dd_log_testing.h"

namespace {

// How deep the calling thread is inside logger operations run by the facility.
thread_local int loggerOperationDepth = 0;

class InsideLoggerOperation {
 public:
  InsideLoggerOperation() { ++loggerOperationDepth; }
  ~InsideLoggerOperation() { --loggerOperationDepth; }
  InsideLoggerOperation(const InsideLoggerOperation&) = delete;
  InsideLoggerOperation& operator=(const InsideLoggerOperation&) = delete;
};

struct Registration {
  std::shared_ptr<DDLogger> logger;
  DDLogLevel level;
  fnd::Queue queue;
};

class Facility {
 public:
  static constexpr long kQueuedMessageLimit = 1000;

  static Facility& shared() {
    // Never destroyed: lines logged by exit hooks and static destructors still
    // find their queue and loggers.
    static Facility* facility = new Facility();
    return *facility;
  }

  // Runs a block on the logging queue and waits for it, unless the caller is a
  // logger operation: the logging queue may be waiting for that very operation.
  void run(fnd::Queue::Block block) const {
    if (loggerOperationDepth > 0 || queue_.isCurrent()) {
      queue_.async(std::move(block));
    } else {
      queue_.sync(block);
    }
  }

  void dispatch(bool asynchronous, std::shared_ptr<const DDLogMessage> message) {
    if (loggerOperationDepth > 0 || queue_.isCurrent()) {
      // Taking a slot could wait for the very delivery this call is part of.
      queue_.async([this, message] { deliver(*message); });
      return;
    }
    slots_.wait();
    fnd::Queue::Block block = [this, message] {
      deliver(*message);
      slots_.signal();
    };
    if (asynchronous) {
      queue_.async(std::move(block));
    } else {
      queue_.sync(block);
    }
  }

  // The rest runs on the logging queue only.

  void add(const std::shared_ptr<DDLogger>& logger, DDLogLevel level) {
    auto same = [&](const Registration& r) { return r.logger == logger; };
    if (std::any_of(registrations_.begin(), registrations_.end(), same)) return;
    auto ownQueue = logger->loggerQueue();
    fnd::Queue queue = ownQueue ? *ownQueue : fnd::Queue::serial(logger->loggerName());
    registrations_.push_back({logger, level, queue});
    callOn(queue, [&] { logger->didAddLogger(); });
  }

  void remove(const std::shared_ptr<DDLogger>& logger) {
    auto found = std::find_if(registrations_.begin(), registrations_.end(),
                              [&](const Registration& r) { return r.logger == logger; });
    if (found == registrations_.end()) return;
    Registration leaving = *found;
    registrations_.erase(found);
    callOn(leaving.queue, [&] { leaving.logger->willRemoveLogger(); });
  }

  void removeAll() {
    auto leaving = std::move(registrations_);
    registrations_.clear();
    for (const auto& r : leaving) callOn(r.queue, [&] { r.logger->willRemoveLogger(); });
  }

  std::vector<DDLoggerWithLevel> list() const {
    std::vector<DDLoggerWithLevel> result;
    result.reserve(registrations_.size());
    for (const auto& r : registrations_) result.push_back({r.logger, r.level});
    return result;
  }

  void flushAll() const {
    fnd::Group group;
    for (const auto& r : registrations_) {
      if (r.queue.isCurrent()) {
        InsideLoggerOperation inside;
        r.logger->flush();
        continue;
      }
      auto logger = r.logger;
      r.queue.async(group, [logger] {
        InsideLoggerOperation inside;
        logger->flush();
      });
    }
    group.wait();
  }

  const fnd::Queue& queue() const { return queue_; }

  void setProcessorCount(unsigned count) { processorCount_ = count > 0 ? count : machineProcessorCount(); }

 private:
  Facility()
      : queue_(fnd::Queue::serial("cocoa.lumberjack")),
        slots_(kQueuedMessageLimit),
        processorCount_(machineProcessorCount()) {
    // Running one block first brings up the queues' threads before the exit
    // hook is registered, so they are torn down only after it has flushed.
    queue_.sync([] {});
    std::atexit([] { DDLog::flushLog(); });
  }

  static unsigned machineProcessorCount() { return std::max(1u, std::thread::hardware_concurrency()); }

  // A logger whose queue is already held by this thread (it waits on the
  // logging queue from there) is called in place, as waiting would deadlock.
  static void callOn(const fnd::Queue& queue, const std::function<void()>& operation) {
    auto guarded = [&] {
      InsideLoggerOperation inside;
      operation();
    };
    if (queue.isCurrent()) {
      guarded();
    } else {
      queue.sync(guarded);
    }
  }

  void deliver(const DDLogMessage& message) const {
    if (processorCount_ == 1) {
      for (const auto& r : registrations_) {
        if (DDLogLevelAdmitsFlag(r.level, message.flag())) callOn(r.queue, [&] { r.logger->logMessage(message); });
      }
      return;
    }
    fnd::Group group;
    for (const auto& r : registrations_) {
      if (!DDLogLevelAdmitsFlag(r.level, message.flag())) continue;
      if (r.queue.isCurrent()) {
        InsideLoggerOperation inside;
        r.logger->logMessage(message);
        continue;
      }
      // The group is waited for below, so the message outlives every delivery.
      auto logger = r.logger;
      const DDLogMessage* delivered = &message;
      r.queue.async(group, [logger, delivered] {
        InsideLoggerOperation inside;
        logger->logMessage(*delivered);
      });
    }
    group.wait();
  }

  fnd::Queue queue_;
  fnd::Semaphore slots_;
  unsigned processorCount_;                  // only on queue_ once running
  std::vector<Registration> registrations_;  // only on queue_
};

}  // namespace

void DDLog::addLogger(std::shared_ptr<DDLogger> logger) { addLoggerWithLevel(std::move(logger), DDLogLevelAll); }

void DDLog::addLoggerWithLevel(std::shared_ptr<DDLogger> logger, DDLogLevel level) {
  if (!logger) return;
  auto& facility = Facility::shared();
  facility.run([&facility, logger, level] { facility.add(logger, level); });
}

void DDLog::removeLogger(const std::shared_ptr<DDLogger>& logger) {
  if (!logger) return;
  auto& facility = Facility::shared();
  facility.run([&facility, logger] { facility.remove(logger); });
}

void DDLog::removeAllLoggers() {
  auto& facility = Facility::shared();
  facility.run([&facility] { facility.removeAll(); });
}

std::vector<std::shared_ptr<DDLogger>> DDLog::allLoggers() {
  std::vector<std::shared_ptr<DDLogger>> loggers;
  for (auto& entry : allLoggersWithLevel()) loggers.push_back(std::move(entry.logger));
  return loggers;
}

std::vector<DDLoggerWithLevel> DDLog::allLoggersWithLevel() {
  auto& facility = Facility::shared();
  if (facility.queue().isCurrent()) return facility.list();
  if (loggerOperationDepth > 0) {
    fnd::programmingError("DDLog: the list of loggers cannot be read from inside a logger");
  }
  return facility.queue().sync([&facility] { return facility.list(); });
}

void DDLog::log(bool asynchronous, DDLogMessage logMessage) {
  Facility::shared().dispatch(asynchronous, std::make_shared<const DDLogMessage>(std::move(logMessage)));
}

void DDLog::flushLog() {
  auto& facility = Facility::shared();
  facility.run([&facility] { facility.flushAll(); });
}

void DDLogSetProcessorCountForTesting(unsigned count) {
  auto& facility = Facility::shared();
  facility.run([&facility, count] { facility.setProcessorCount(count); });
}
