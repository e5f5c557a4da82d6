#pragma once

// The one thread pool under every worker queue (internal to fnd).
//
// The pool is elastic: a worker that blocks (a sync onto another queue, a
// group or semaphore wait) is replaced while it waits, so blocking work can
// never starve the blocks it waits for.

#include <cstddef>
#include <mutex>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

namespace fnd::detail {

class Executor {
 public:
  static Executor& shared();

  asio::io_context& context() { return context_; }
  std::size_t workerCount();

  // Marks the calling thread, if it is a worker, as blocked while in scope.
  class BlockingScope {
   public:
    BlockingScope();
    ~BlockingScope();
    BlockingScope(const BlockingScope&) = delete;
    BlockingScope& operator=(const BlockingScope&) = delete;

   private:
    bool counted_;
  };

 private:
  Executor();
  void spawnWorker();
  bool enterBlocking();
  void leaveBlocking();

  static constexpr std::size_t kMaximumWorkers = 64;

  asio::io_context context_;
  asio::executor_work_guard<asio::io_context::executor_type> guard_;
  std::mutex mutex_;
  std::size_t workers_ = 0;
  std::size_t blocked_ = 0;
  std::size_t baseline_;
};

}  // namespace fnd::detail
