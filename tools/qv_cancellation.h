#pragma once

// Lets a caller cancel work it started and lets the work react. A token is
// cancelled once; handlers registered on it run when that happens, or at once
// if it already has. A group combines children (tokens or other groups),
// cancels itself when any child or when all children have been cancelled, and
// cancelling the group cancels every child.
//
// All cancellation state lives on one shared serial queue; handlers never run
// there but on the global utility queue, so they may call back into any token
// or group.

#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

#include "foundation/queue.h"

class QVCancellation {
 public:
  using Handler = std::function<void()>;

  virtual ~QVCancellation();

  virtual void addCancellationHandler(Handler handler) = 0;
  virtual void cancel() = 0;
  virtual bool isCancelled() const = 0;

  // Calls `observer` on the manager's queue, synchronously with the change,
  // once the object turns cancelled. Groups learn of their children's
  // cancellation this way. Returns false when the object cannot report it;
  // a group then only sees the change when it next checks its children.
  // Only on the manager's queue.
  virtual bool addCancellationObserver(Handler observer);
};

class QVCancellationManager {
 public:
  static QVCancellationManager& sharedInstance();
  QVCancellationManager(const QVCancellationManager&) = delete;
  QVCancellationManager& operator=(const QVCancellationManager&) = delete;

  // "com.quorvex.cancellation-manager.internal-queue".
  const fnd::Queue& queue() const { return queue_; }

  // Runs `block` on the queue and waits for it. From the queue itself the
  // block runs inline, so that a group can cancel its children from there.
  void performBlock(const std::function<void()>& block) const;

 private:
  QVCancellationManager();

  fnd::Queue queue_;
};

class QVCancellationToken final : public QVCancellation {
 public:
  static std::shared_ptr<QVCancellationToken> create();
  QVCancellationToken(const QVCancellationToken&) = delete;
  QVCancellationToken& operator=(const QVCancellationToken&) = delete;

  void addCancellationHandler(Handler handler) override;
  void cancel() override;
  bool isCancelled() const override;
  bool addCancellationObserver(Handler observer) override;

  QVCancellationManager& manager() const { return manager_; }

 private:
  QVCancellationToken();

  QVCancellationManager& manager_;
  // Confined to the manager's queue.
  bool isCancelled_ = false;
  std::vector<Handler> cancellationHandlers_;
  std::vector<Handler> observers_;
};

class QVCancellationGroup final : public QVCancellation, public std::enable_shared_from_this<QVCancellationGroup> {
 public:
  // 0 cancels the group as soon as any child is cancelled; any other value
  // once every child is.
  static constexpr long kPolicyAny = 0;
  static constexpr long kPolicyAll = 1;

  static std::shared_ptr<QVCancellationGroup> initWithPolicy(long policy);
  QVCancellationGroup() = delete;
  QVCancellationGroup(const QVCancellationGroup&) = delete;
  QVCancellationGroup& operator=(const QVCancellationGroup&) = delete;

  long policy() const { return policy_; }

  void addChild(std::shared_ptr<QVCancellation> child);

  void addCancellationHandler(Handler handler) override;
  void cancel() override;
  bool isCancelled() const override;
  bool addCancellationObserver(Handler observer) override;

 private:
  explicit QVCancellationGroup(long policy);

  // All on the manager's queue.
  void observe(const std::shared_ptr<QVCancellation>& child);
  void cancelOnQueue();
  void checkChildren();
  void moveLiveChildrenToCancelled(bool cancellingThem);

  const long policy_;
  QVCancellationManager& manager_;
  // Confined to the manager's queue.
  bool isCancelled_ = false;
  std::unordered_set<std::shared_ptr<QVCancellation>> cancelledChildren_;
  std::unordered_set<std::shared_ptr<QVCancellation>> nonCancelledChildren_;
  std::vector<Handler> cancellationHandlers_;
  std::vector<Handler> observers_;
  // Re-entrance guard: cancelling children reports back to this group.
  bool suppressCheckChildren_ = false;
};
