#include "tools/qv_state_machine.h"

#include <optional>
#include <string>
#include <utility>

#include "foundation/check.h"
#include "foundation/uuid.h"

void QVStateMachineTransitionInfo::removeTransition() const {
  if (auto machine = stateMachine_.lock()) machine->removeTransitionWithHandle(handle_);
}

QVStateMachineTransition::QVStateMachineTransition(fnd::Value handle, fnd::Value action, fnd::Value fromState,
                                                   fnd::Value toState, Handler handler)
    : handle_(std::move(handle)),
      action_(std::move(action)),
      fromState_(std::move(fromState)),
      toState_(std::move(toState)),
      handler_(std::move(handler)) {}

bool QVStateMachineTransition::matches(const fnd::Value& action, const fnd::Value& state) const {
  return (action_.isNil() || action_ == action) && (fromState_.isNil() || fromState_ == state);
}

bool QVStateMachineTransition::isEqual(const QVStateMachineTransition& other) const {
  return action_ == other.action_ && fromState_ == other.fromState_ && toState_ == other.toState_;
}

std::size_t QVStateMachineTransition::hash() const { return action_.hash() ^ fromState_.hash() ^ toState_.hash(); }

QVStateMachineTarget::~QVStateMachineTarget() = default;

QVStateMachineTarget::TransitionInfoMethod QVStateMachineTarget::methodWithTransitionInfo(std::string_view) {
  return {};
}

QVStateMachineTarget::InfoMethod QVStateMachineTarget::methodWithInfo(std::string_view) { return {}; }

void QVStateMachineTarget::stateMachineDidPerformTransiton(const std::shared_ptr<QVStateMachine>&,
                                                           const QVStateMachineTransitionInfo&,
                                                           const std::vector<fnd::Value>&) {}

std::shared_ptr<QVStateMachine> QVStateMachine::initWithTarget(std::weak_ptr<QVStateMachineTarget> target,
                                                               fnd::Value initialState) {
  FND_PARAMETER_ASSERT_TEXT(!initialState.isNil(), "initialState");
  return std::shared_ptr<QVStateMachine>(new QVStateMachine(std::move(target), std::move(initialState)));
}

QVStateMachine::QVStateMachine(std::weak_ptr<QVStateMachineTarget> target, fnd::Value initialState)
    : target_(std::move(target)), state_(std::move(initialState)) {}

fnd::Value QVStateMachine::addTransitionOnAction(fnd::Value action, fnd::Value fromState, fnd::Value toState,
                                                 QVStateMachineTransition::Handler handler) {
  fnd::Value handle(fnd::UUID::make());
  transitions_.emplace_back(handle, std::move(action), std::move(fromState), std::move(toState), std::move(handler));
  return handle;
}

std::vector<fnd::Value> QVStateMachine::addTransitionOnAction(const fnd::Value& action,
                                                              const std::vector<fnd::Value>& fromStates,
                                                              const fnd::Value& toState,
                                                              const QVStateMachineTransition::Handler& handler) {
  std::vector<fnd::Value> handles;
  handles.reserve(fromStates.size());
  for (const fnd::Value& fromState : fromStates)
    handles.push_back(addTransitionOnAction(action, fromState, toState, handler));
  return handles;
}

bool QVStateMachine::removeTransitionWithHandle(const fnd::Value& handle) {
  for (auto it = transitions_.begin(); it != transitions_.end(); ++it) {
    if (it->handle() == handle) {
      transitions_.erase(it);
      return true;
    }
  }
  return false;
}

QVStateMachineTransition::Handler QVStateMachine::handlerForTransition(
    const QVStateMachineTransition& transition, const fnd::Value& action,
    const std::shared_ptr<QVStateMachineTarget>& target) const {
  if (transition.handler()) return transition.handler();
  if (!target) return {};
  std::optional<std::string> name = action.stringValue();
  if (!name || name->empty()) return {};
  if (auto method = target->methodWithTransitionInfo(*name)) return method;
  if (auto method = target->methodWithInfo(*name)) {
    return [method = std::move(method)](const QVStateMachineTransitionInfo& info) { method(info.userInfo()); };
  }
  return {};
}

void QVStateMachine::performAction(const fnd::Value& action, std::shared_ptr<fnd::Dictionary> userInfo) {
  FND_PARAMETER_ASSERT_TEXT(!action.isNil(), "action");
  // Keeps the machine and its target alive until every handler has run, even
  // if a handler drops the last outside reference.
  std::shared_ptr<QVStateMachine> self = shared_from_this();
  std::shared_ptr<QVStateMachineTarget> target = target_.lock();

  QVStateMachineTransitionInfo info;
  info.target_ = target;
  info.stateMachine_ = self;
  info.action_ = action;
  info.fromState_ = state_;
  info.userInfo_ = std::move(userInfo);

  // The whole walk happens before any handler runs, so handlers that change
  // the table or perform further actions affect the next action only.
  struct QueuedCall {
    fnd::Value handle;
    QVStateMachineTransition::Handler handler;
  };
  std::vector<QueuedCall> calls;
  std::vector<fnd::Value> affectedHandles;
  for (const QVStateMachineTransition& transition : transitions_) {
    if (!transition.matches(action, info.fromState_)) continue;
    if (!transition.toState().isNil()) info.toState_ = transition.toState();
    if (auto handler = handlerForTransition(transition, action, target)) {
      affectedHandles.push_back(transition.handle());
      calls.push_back({transition.handle(), std::move(handler)});
    }
  }

  if (!info.toState_.isNil()) state_ = info.toState_;

  for (const QueuedCall& call : calls) {
    QVStateMachineTransitionInfo handlerInfo = info;
    handlerInfo.handle_ = call.handle;
    call.handler(handlerInfo);
  }

  if (target) target->stateMachineDidPerformTransiton(self, info, affectedHandles);
}
