#pragma once

// Runs asynchronous, result-producing jobs once per key and shares the result
// with everyone who asks. A proactor holds groups (one per kind of job); a
// group holds actions (one per argument). The first request for an action
// starts its job, requests that arrive while it runs wait, and when the job
// completes every waiting request receives its own copy of the result. Later
// requests get the cached result at once until the action is reset.
//
// All bookkeeping is confined to the proactor's serial internal queue. Jobs,
// completion handlers and hooks always run on `QVProactor::invocationQueue()`,
// never on the internal queue, so they may call every operation here.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/error.h"
#include "foundation/queue.h"
#include "foundation/value.h"
#include "tools/qv_state_machine.h"

class QVProactor;
class QVProactorAction;
class QVProactorGroup;

// An object whose operations serve as the jobs of groups registered by
// operation name. The delegate registers its operations before it hands
// itself to a proactor; the table is read, never changed, from then on.
class QVProactorDelegate {
 public:
  using Operation = std::function<void(const std::shared_ptr<QVProactorAction>&)>;

  virtual ~QVProactorDelegate();

  // Empty when the delegate has no operation of that name.
  Operation operationNamed(std::string_view name) const;

 protected:
  void registerOperation(std::string name, Operation operation);

 private:
  std::map<std::string, Operation, std::less<>> operations_;
};

// A copy of an action's result. Every handler gets its own, so handlers never
// share a mutable dictionary. Holds the action and its delegate strongly.
class QVProactorResult {
 public:
  using Objects = std::unordered_map<fnd::Value, fnd::Value, fnd::ValueHash>;

  // The key of the job's error.
  static constexpr std::string_view kErrorKey = "error";

  // An empty result of `action`; the action is required.
  explicit QVProactorResult(std::shared_ptr<QVProactorAction> action);

  const std::shared_ptr<QVProactorAction>& action() const { return action_; }
  const std::shared_ptr<QVProactorDelegate>& delegate() const { return delegate_; }
  const Objects& objectsByKey() const { return objectsByKey_; }

  // nil when absent.
  fnd::Value objectForKey(const fnd::Value& key) const;
  fnd::Value operator[](const fnd::Value& key) const { return objectForKey(key); }
  // A nil value or key is ignored.
  void setObject(const fnd::Value& object, const fnd::Value& key);
  // The value under "error" when it is an error.
  std::optional<fnd::Error> error() const;
  void setError(const fnd::Error& error);

 private:
  friend class QVProactorAction;
  QVProactorResult(std::shared_ptr<QVProactorAction> action, Objects objects);

  std::shared_ptr<QVProactorAction> action_;
  std::shared_ptr<QVProactorDelegate> delegate_;
  Objects objectsByKey_;
};

class QVProactorAction final : public QVStateMachineTarget, public std::enable_shared_from_this<QVProactorAction> {
 public:
  using CompletionHandler = std::function<void(const QVProactorResult&)>;
  using CompletionHook = std::function<void(const std::shared_ptr<QVProactorAction>&)>;
  using Objects = QVProactorResult::Objects;

  enum State : long { kStateIdle = 0, kStateRunning = 1, kStateCompleting = 2, kStateCompleted = 3 };
  enum Event : long {
    kEventStart = 0,
    kEventRestart = 1,
    kEventComplete = 2,
    kEventDeliver = 3,
    kEventAddCompletionHandler = 4,
    kEventAddCompletionHook = 5,
    kEventReset = 6,
  };

  QVProactorAction(const QVProactorAction&) = delete;
  QVProactorAction& operator=(const QVProactorAction&) = delete;
  ~QVProactorAction() override;

  // The key the action was made for; the null object for the default action.
  const fnd::Value& argument() const { return argument_; }
  std::shared_ptr<QVProactorGroup> group() const { return group_.lock(); }
  std::shared_ptr<QVProactorDelegate> delegate() const { return delegate_.lock(); }
  const fnd::Value& groupID() const { return groupID_; }
  const fnd::Queue& internalQueue() const { return internalQueue_; }

  // Asynchronous.
  void addCompletionHandler(CompletionHandler handler);
  void start();
  void restart();
  void complete();
  void reset();
  // Completes, and resets as soon as the result is delivered, in one step:
  // no request can slip in between and be handed the stale result. For
  // results that must not be kept, such as failures.
  void completeAndReset();

  // Synchronous: they wait on the internal queue.
  void addCompletionHook(CompletionHook hook);
  void setObject(const fnd::Value& object, const fnd::Value& key);
  fnd::Value objectForKey(const fnd::Value& key) const;
  fnd::Value operator[](const fnd::Value& key) const { return objectForKey(key); }
  // Changes several entries of the current result at once.
  void updateWithBlock(const std::function<void(Objects&)>& block);
  void setError(const fnd::Error& error);
  std::optional<fnd::Error> error() const;
  bool isCompleted() const;
  // A copy of the current result.
  QVProactorResult result() const;

 private:
  friend class QVProactorGroup;

  QVProactorAction(const std::shared_ptr<QVProactorGroup>& group, fnd::Value argument);
  static std::shared_ptr<QVProactorAction> create(const std::shared_ptr<QVProactorGroup>& group, fnd::Value argument);

  void registerTransitions();
  void performAsync(Event event, std::shared_ptr<fnd::Dictionary> userInfo = nullptr);
  void perform(Event event, std::shared_ptr<fnd::Dictionary> userInfo = nullptr);

  // Transition bodies; all on the internal queue.
  void setup();
  void runJob();
  void callNextHookOrDeliver();
  void deliver();
  void appendCompletionHandler(const QVStateMachineTransitionInfo& info);
  void appendCompletionHandlerWhenIdle(const QVStateMachineTransitionInfo& info);
  void callCompletionHandlerAtOnce(const QVStateMachineTransitionInfo& info);
  void appendCompletionHook(const QVStateMachineTransitionInfo& info);

  QVProactorResult copyOfResult();

  const fnd::Value argument_;
  const std::weak_ptr<QVProactorGroup> group_;
  const std::weak_ptr<QVProactor> proactor_;
  const std::weak_ptr<QVProactorDelegate> delegate_;
  const fnd::Value groupID_;
  const fnd::Queue internalQueue_;

  // Confined to the internal queue.
  Objects objects_;
  std::vector<CompletionHandler> completionHandlers_;
  std::vector<CompletionHook> completionHooks_;
  std::shared_ptr<QVStateMachine> stateMachine_;
  bool resetAfterDelivery_ = false;
};

class QVProactorGroup final : public std::enable_shared_from_this<QVProactorGroup> {
 public:
  using HandlerBlock = std::function<void(const std::shared_ptr<QVProactorAction>&)>;

  QVProactorGroup(const QVProactorGroup&) = delete;
  QVProactorGroup& operator=(const QVProactorGroup&) = delete;
  ~QVProactorGroup();

  const fnd::Value& identifier() const { return identifier_; }
  std::shared_ptr<QVProactor> proactor() const { return proactor_.lock(); }
  bool startsActionAutomatically() const { return startsActionAutomatically_; }
  const HandlerBlock& handlerBlock() const { return handlerBlock_; }
  const fnd::Queue& internalQueue() const { return internalQueue_; }

  // The action for the argument (nil means the null object), made on first
  // use. Actions are never removed. Synchronous.
  std::shared_ptr<QVProactorAction> actionForArgument(const fnd::Value& argument);
  std::shared_ptr<QVProactorAction> operator[](const fnd::Value& argument) { return actionForArgument(argument); }
  std::shared_ptr<QVProactorAction> defaultAction() { return actionForArgument(fnd::Value()); }

 private:
  friend class QVProactor;

  QVProactorGroup(const std::shared_ptr<QVProactor>& proactor, fnd::Value identifier, bool startsActionAutomatically,
                  HandlerBlock handlerBlock);

  const fnd::Value identifier_;
  const std::weak_ptr<QVProactor> proactor_;
  const bool startsActionAutomatically_;
  const HandlerBlock handlerBlock_;
  const fnd::Queue internalQueue_;

  // Confined to the internal queue.
  std::unordered_map<fnd::Value, std::shared_ptr<QVProactorAction>, fnd::ValueHash> actionsByArgument_;
};

class QVProactor final : public std::enable_shared_from_this<QVProactor> {
 public:
  using HandlerBlock = QVProactorGroup::HandlerBlock;

  // The delegate is required and held weakly.
  static std::shared_ptr<QVProactor> initWithDelegate(const std::shared_ptr<QVProactorDelegate>& delegate);
  QVProactor() = delete;
  QVProactor(const QVProactor&) = delete;
  QVProactor& operator=(const QVProactor&) = delete;

  // The global utility queue: where jobs, handlers and hooks run.
  static fnd::Queue invocationQueue();

  std::shared_ptr<QVProactorDelegate> delegate() const { return delegate_.lock(); }
  const fnd::Queue& internalQueue() const { return internalQueue_; }

  // Registers a group; a second group with the same identifier is a
  // programming error. Synchronous.
  std::shared_ptr<QVProactorGroup> addGroupWithID(const fnd::Value& groupID, bool startsActionAutomatically,
                                                  HandlerBlock handlerBlock);
  // The job calls the delegate's operation of that name with the action, or
  // does nothing once the delegate is gone.
  std::shared_ptr<QVProactorGroup> addGroupWithID(const fnd::Value& groupID, bool startsActionAutomatically,
                                                  std::string_view delegateHandlerSelector);

  // Null when there is no such group. Synchronous.
  std::shared_ptr<QVProactorGroup> groupWithID(const fnd::Value& groupID) const;
  std::shared_ptr<QVProactorGroup> operator[](const fnd::Value& groupID) const { return groupWithID(groupID); }

 private:
  explicit QVProactor(const std::shared_ptr<QVProactorDelegate>& delegate);

  const std::weak_ptr<QVProactorDelegate> delegate_;
  const fnd::Queue internalQueue_;

  // Confined to the internal queue.
  std::unordered_map<fnd::Value, std::shared_ptr<QVProactorGroup>, fnd::ValueHash> groupsByID_;
};
