#include "foundation/queue.h"

#include <algorithm>
#include <asio/post.hpp>
#include <asio/strand.hpp>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/check.h"
#include "foundation/executor.h"
#include "foundation/group.h"

namespace fnd {

namespace detail {

class QueueImpl;

namespace {

// The queues the calling thread holds, outermost first: the queue whose block
// it runs, and the queues it waits on in nested syncs.
thread_local std::vector<const QueueImpl*> tHeldQueues;

const std::thread::id gMainThread = std::this_thread::get_id();

class HeldQueuesScope {
 public:
  // Replaces the thread's held queues by `inherited` plus `queue`.
  HeldQueuesScope(std::vector<const QueueImpl*> inherited, const QueueImpl* queue)
      : saved_(std::exchange(tHeldQueues, std::move(inherited))) {
    tHeldQueues.push_back(queue);
  }
  explicit HeldQueuesScope(const QueueImpl* queue) : HeldQueuesScope(tHeldQueues, queue) {}
  ~HeldQueuesScope() { tHeldQueues = std::move(saved_); }
  HeldQueuesScope(const HeldQueuesScope&) = delete;
  HeldQueuesScope& operator=(const HeldQueuesScope&) = delete;

 private:
  std::vector<const QueueImpl*> saved_;
};

bool holds(const QueueImpl* queue) {
  return std::find(tHeldQueues.begin(), tHeldQueues.end(), queue) != tHeldQueues.end();
}

// One block completing a sync: the waiter sleeps until `done`.
struct SyncWaiter {
  std::mutex mutex;
  std::condition_variable condition;
  bool done = false;

  void finish() {
    std::lock_guard lock(mutex);
    done = true;
    condition.notify_one();
  }
  void wait() {
    detail::Executor::BlockingScope blocking;
    std::unique_lock lock(mutex);
    condition.wait(lock, [this] { return done; });
  }
};

}  // namespace

class QueueImpl : public std::enable_shared_from_this<QueueImpl> {
 public:
  QueueImpl(std::string label, QualityOfService qos) : label_(std::move(label)), qos_(qos) {}
  virtual ~QueueImpl() = default;

  const std::string& label() const { return label_; }
  QualityOfService qos() const { return qos_; }

  virtual void enqueue(Queue::Block block) = 0;
  virtual void runSync(const Queue::Block& block) = 0;
  virtual bool isCurrent() const { return holds(this); }

 protected:
  // An exception escaping a block is a programming error; say where it came from.
  void runBlock(const Queue::Block& block) const {
    try {
      block();
    } catch (const std::exception& e) {
      programmingError("Uncaught exception on queue " + label_ + ": " + e.what());
    } catch (...) {
      programmingError("Uncaught exception on queue " + label_);
    }
  }

  // Runs the block here, as this queue, inheriting the caller's held queues.
  void runHeld(const Queue::Block& block, std::vector<const QueueImpl*> inherited) const {
    HeldQueuesScope scope(std::move(inherited), this);
    runBlock(block);
  }

  // Waiting for a queue this thread holds can never finish.
  void assertNotHeld() const { FND_PARAMETER_ASSERT(!isCurrent()); }

 private:
  const std::string label_;
  const QualityOfService qos_;
};

namespace {

class SerialQueueImpl final : public QueueImpl {
 public:
  SerialQueueImpl(std::string label, QualityOfService qos)
      : QueueImpl(std::move(label), qos), strand_(asio::make_strand(Executor::shared().context())) {}

  void enqueue(Queue::Block block) override {
    asio::post(strand_, [self = shared_from_this(), block = std::move(block)] {
      static_cast<const SerialQueueImpl&>(*self).runHeld(block, {});
    });
  }

  void runSync(const Queue::Block& block) override {
    assertNotHeld();
    SyncWaiter waiter;
    asio::post(strand_, [this, &block, &waiter, inherited = tHeldQueues] {
      runHeld(block, inherited);
      waiter.finish();
    });
    waiter.wait();
  }

 private:
  asio::strand<asio::io_context::executor_type> strand_;
};

class ConcurrentQueueImpl final : public QueueImpl {
 public:
  using QueueImpl::QueueImpl;

  void enqueue(Queue::Block block) override {
    asio::post(Executor::shared().context(), [self = shared_from_this(), block = std::move(block)] {
      static_cast<const ConcurrentQueueImpl&>(*self).runHeld(block, {});
    });
  }

  // A concurrent queue has no exclusion to wait for: run on the caller.
  void runSync(const Queue::Block& block) override { runHeld(block, tHeldQueues); }
};

class MainQueueImpl final : public QueueImpl {
 public:
  MainQueueImpl() : QueueImpl("com.apple.main-thread", QualityOfService::userInteractive) {}

  bool isCurrent() const override { return std::this_thread::get_id() == gMainThread || holds(this); }

  void enqueue(Queue::Block block) override {
    std::function<void()> wakeUp;
    {
      std::lock_guard lock(mutex_);
      blocks_.push_back(std::move(block));
      wakeUp = wakeUp_;
    }
    condition_.notify_one();
    if (wakeUp) wakeUp();
  }

  void runSync(const Queue::Block& block) override {
    assertNotHeld();
    SyncWaiter waiter;
    enqueue([this, &block, &waiter, inherited = tHeldQueues] {
      runHeld(block, inherited);
      waiter.finish();
    });
    waiter.wait();
  }

  void run() {
    FND_PARAMETER_ASSERT(std::this_thread::get_id() == gMainThread);
    for (;;) {
      Queue::Block block;
      {
        std::unique_lock lock(mutex_);
        condition_.wait(lock, [this] { return quit_ || !blocks_.empty(); });
        if (quit_) {
          quit_ = false;
          return;
        }
        block = std::move(blocks_.front());
        blocks_.pop_front();
      }
      runHeld(block, tHeldQueues);
    }
  }

  std::size_t runUntilIdle() {
    FND_PARAMETER_ASSERT(std::this_thread::get_id() == gMainThread);
    std::size_t ran = 0;
    for (;;) {
      Queue::Block block;
      {
        std::lock_guard lock(mutex_);
        if (blocks_.empty()) return ran;
        block = std::move(blocks_.front());
        blocks_.pop_front();
      }
      runHeld(block, tHeldQueues);
      ++ran;
    }
  }

  void quit() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    condition_.notify_one();
  }

  void setWakeUpHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    wakeUp_ = std::move(handler);
  }

 private:
  std::mutex mutex_;
  std::condition_variable condition_;
  std::deque<Queue::Block> blocks_;
  std::function<void()> wakeUp_;
  bool quit_ = false;
};

const char* globalLabel(QualityOfService qos) {
  switch (qos) {
    case QualityOfService::userInteractive:
      return "com.apple.root.user-interactive-qos";
    case QualityOfService::userInitiated:
      return "com.apple.root.user-initiated-qos";
    case QualityOfService::defaultQoS:
      return "com.apple.root.default-qos";
    case QualityOfService::utility:
      return "com.apple.root.utility-qos";
    case QualityOfService::background:
      return "com.apple.root.background-qos";
  }
  FND_NOT_REACHED();
}

// Leaked, like the pool under them.
MainQueueImpl& mainQueue() {
  static auto* queue = new std::shared_ptr<MainQueueImpl>(std::make_shared<MainQueueImpl>());
  return **queue;
}

}  // namespace
}  // namespace detail

Queue Queue::serial(std::string label, QualityOfService qos) {
  return Queue(std::make_shared<detail::SerialQueueImpl>(std::move(label), qos));
}

Queue Queue::global(QualityOfService qos) {
  static auto* queues = [] {
    auto* all = new std::vector<std::shared_ptr<detail::QueueImpl>>;
    for (auto q : {QualityOfService::userInteractive, QualityOfService::userInitiated, QualityOfService::defaultQoS,
                   QualityOfService::utility, QualityOfService::background}) {
      all->push_back(std::make_shared<detail::ConcurrentQueueImpl>(detail::globalLabel(q), q));
    }
    return all;
  }();
  return Queue((*queues)[static_cast<std::size_t>(qos)]);
}

Queue Queue::main() { return Queue(detail::mainQueue().shared_from_this()); }

const std::string& Queue::label() const { return impl_->label(); }
QualityOfService Queue::qualityOfService() const { return impl_->qos(); }

void Queue::async(Block block) const { impl_->enqueue(std::move(block)); }

void Queue::async(const Group& group, Block block) const {
  group.enter();
  impl_->enqueue([group, block = std::move(block)] {
    block();
    group.leave();
  });
}

void Queue::sync(const Block& block) const { impl_->runSync(block); }

void Queue::after(Clock::Duration delay, Block block) const {
  Clock& clock = Clock::current();
  clock.schedule(clock.now() + delay, [impl = impl_, block = std::move(block)] { impl->enqueue(block); });
}

bool Queue::isCurrent() const { return impl_->isCurrent(); }

std::string Queue::currentLabel() {
  if (!detail::tHeldQueues.empty()) return detail::tHeldQueues.back()->label();
  if (std::this_thread::get_id() == detail::gMainThread) return detail::mainQueue().label();
  return {};
}

void MainLoop::run() { detail::mainQueue().run(); }
void MainLoop::quit() { detail::mainQueue().quit(); }
std::size_t MainLoop::runUntilIdle() { return detail::mainQueue().runUntilIdle(); }
void MainLoop::setWakeUpHandler(std::function<void()> handler) { detail::mainQueue().setWakeUpHandler(std::move(handler)); }
bool MainLoop::isMainThread() { return std::this_thread::get_id() == detail::gMainThread; }

}  // namespace fnd
