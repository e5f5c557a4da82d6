#pragma once

// A table-driven state machine. States and actions are arbitrary values;
// transitions are registered at run time. Performing an action moves the
// machine to its new state and then calls every matching handler. A
// transition without a handler may be served by a method of the machine's
// target found by the action's name.
//
// The machine does no locking: its owner performs every action and
// registration on one serial queue, and handlers run synchronously on it.

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "foundation/dictionary.h"
#include "foundation/value.h"

class QVStateMachine;
class QVStateMachineTarget;

// What a handler learns about the action it serves. Copies copy every field.
class QVStateMachineTransitionInfo {
 public:
  std::shared_ptr<QVStateMachineTarget> target() const { return target_.lock(); }
  std::shared_ptr<QVStateMachine> stateMachine() const { return stateMachine_.lock(); }
  // The transition being served; nil in the after-transition notification.
  const fnd::Value& handle() const { return handle_; }
  const fnd::Value& action() const { return action_; }
  // The state before the action.
  const fnd::Value& fromState() const { return fromState_; }
  // The state after the action; nil when no matching transition named one.
  const fnd::Value& toState() const { return toState_; }
  const std::shared_ptr<fnd::Dictionary>& userInfo() const { return userInfo_; }

  // Removes the transition this info was made for, so that a handler can make
  // itself one-shot.
  void removeTransition() const;

 private:
  friend class QVStateMachine;
  QVStateMachineTransitionInfo() = default;

  std::weak_ptr<QVStateMachineTarget> target_;
  std::weak_ptr<QVStateMachine> stateMachine_;
  fnd::Value handle_;
  fnd::Value action_;
  fnd::Value fromState_;
  fnd::Value toState_;
  std::shared_ptr<fnd::Dictionary> userInfo_;
};

class QVStateMachineTransition {
 public:
  using Handler = std::function<void(const QVStateMachineTransitionInfo&)>;

  QVStateMachineTransition(fnd::Value handle, fnd::Value action, fnd::Value fromState, fnd::Value toState,
                           Handler handler);

  const fnd::Value& handle() const { return handle_; }
  // nil matches every action.
  const fnd::Value& action() const { return action_; }
  // nil matches every state.
  const fnd::Value& fromState() const { return fromState_; }
  // nil leaves the state unchanged.
  const fnd::Value& toState() const { return toState_; }
  const Handler& handler() const { return handler_; }

  bool matches(const fnd::Value& action, const fnd::Value& state) const;

  // Action, from-state and to-state only: handle and handler do not count.
  bool isEqual(const QVStateMachineTransition& other) const;
  friend bool operator==(const QVStateMachineTransition& a, const QVStateMachineTransition& b) { return a.isEqual(b); }
  std::size_t hash() const;

 private:
  fnd::Value handle_;
  fnd::Value action_;
  fnd::Value fromState_;
  fnd::Value toState_;
  Handler handler_;
};

// The target's name-derived methods are looked up in what the target returns
// for an action name; an empty function means "no such method".
class QVStateMachineTarget {
 public:
  using TransitionInfoMethod = std::function<void(const QVStateMachineTransitionInfo&)>;
  using InfoMethod = std::function<void(const std::shared_ptr<fnd::Dictionary>&)>;

  virtual ~QVStateMachineTarget();

  // "<actionName>WithTransitionInfo:".
  virtual TransitionInfoMethod methodWithTransitionInfo(std::string_view actionName);
  // "<actionName>WithInfo:", called with the user info only.
  virtual InfoMethod methodWithInfo(std::string_view actionName);

  // After every action, with the handles whose handlers were called.
  virtual void stateMachineDidPerformTransiton(const std::shared_ptr<QVStateMachine>& stateMachine,
                                               const QVStateMachineTransitionInfo& info,
                                               const std::vector<fnd::Value>& affectedHandles);
};

class QVStateMachine : public std::enable_shared_from_this<QVStateMachine> {
 public:
  // `initialState` is required; the target may be absent.
  static std::shared_ptr<QVStateMachine> initWithTarget(std::weak_ptr<QVStateMachineTarget> target,
                                                        fnd::Value initialState);
  QVStateMachine() = delete;
  QVStateMachine(const QVStateMachine&) = delete;
  QVStateMachine& operator=(const QVStateMachine&) = delete;

  std::shared_ptr<QVStateMachineTarget> target() const { return target_.lock(); }
  const fnd::Value& state() const { return state_; }
  const std::vector<QVStateMachineTransition>& transitions() const { return transitions_; }

  // Returns the new transition's handle (a fresh UUID).
  fnd::Value addTransitionOnAction(fnd::Value action, fnd::Value fromState, fnd::Value toState,
                                   QVStateMachineTransition::Handler handler);
  // One transition per from-state, in order; the handles in the same order.
  std::vector<fnd::Value> addTransitionOnAction(const fnd::Value& action, const std::vector<fnd::Value>& fromStates,
                                                const fnd::Value& toState,
                                                const QVStateMachineTransition::Handler& handler);
  // Removes the first transition with an equal handle.
  bool removeTransitionWithHandle(const fnd::Value& handle);

  // `action` is required.
  void performAction(const fnd::Value& action, std::shared_ptr<fnd::Dictionary> userInfo = nullptr);

 private:
  QVStateMachine(std::weak_ptr<QVStateMachineTarget> target, fnd::Value initialState);

  QVStateMachineTransition::Handler handlerForTransition(const QVStateMachineTransition& transition,
                                                         const fnd::Value& action,
                                                         const std::shared_ptr<QVStateMachineTarget>& target) const;

  std::weak_ptr<QVStateMachineTarget> target_;
  fnd::Value state_;
  std::vector<QVStateMachineTransition> transitions_;
};
