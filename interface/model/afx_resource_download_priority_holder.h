#pragma once

// The priority of one resource download, shared by every process that holds
// the same resource: a change made in one is broadcast under the resource's
// identifier and adopted by the others.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/queue.h"
#include "foundation/url.h"
#include "interface/model/afx_base_model_object.h"
#include "interface/model/afx_distributed_notifier.h"
#include "interface/model/afx_resource_kind.h"

class AFXResourceDownloadPriorityChanger {
 public:
  virtual ~AFXResourceDownloadPriorityChanger() = default;
  virtual AFXResourceDownloadPriority priority() const = 0;
  // Changes the priority and tells the other processes.
  virtual void setPriority(AFXResourceDownloadPriority priority) = 0;
};

class AFXResourceDownloadPriorityHolder final : public AFXBaseModelObject,
                                                public AFXResourceDownloadPriorityChanger {
 public:
  using PriorityObserver = std::function<void(AFXResourceDownloadPriority)>;

  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();

  // Priority 1 and no URL (a random identifier).
  static std::shared_ptr<AFXResourceDownloadPriorityHolder> make();
  // Identified by the SHA-1 of the URL, as the resource is; a random
  // identifier without one. A priority above 2 is a programming error.
  static std::shared_ptr<AFXResourceDownloadPriorityHolder> initWithPriority(AFXResourceDownloadPriority priority,
                                                                             std::shared_ptr<fnd::URL> resourceURL);
  ~AFXResourceDownloadPriorityHolder() override;

  const std::string& identifier() const { return identifier_; }
  AFXResourceDownloadPriority priority() const override;
  void setPriority(AFXResourceDownloadPriority priority) override { setPriority(priority, true); }
  // Nothing happens when the priority is unchanged.
  void setPriority(AFXResourceDownloadPriority priority, bool postChanges);
  // Called on the holder's queue after each change.
  void addPriorityObserver(PriorityObserver observer);

  bool initWithCoder(fnd::KeyedUnarchiver& coder) override;
  const fnd::Class& objectClass() const override { return staticClass(); }
  std::string description() const override;

  // The object text of this holder's broadcasts: "<sender>--<priority>".
  std::string broadcastTextForPriority(AFXResourceDownloadPriority priority) const;

 private:
  AFXResourceDownloadPriorityHolder() = default;
  void startObserving();
  void receive(const fnd::Value& object);
  void apply(AFXResourceDownloadPriority priority, bool postChanges);

  // Owned by the holder's queue once observing has started.
  AFXResourceDownloadPriority priority_ = AFXResourceDownloadPriorityDefault;
  std::string identifier_;
  std::optional<fnd::Queue> queue_;
  std::string sender_;
  std::vector<PriorityObserver> observers_;
  std::shared_ptr<AFXDistributedNotifier> notifier_;
  std::optional<std::uint64_t> observation_;
};
