#include "tools/qv_proactor.h"

#include <utility>

#include "foundation/check.h"
#include "foundation/null.h"
#include "tools/qv_queue_builder.h"

namespace {

// Completion handlers and hooks travel to the state machine inside the
// action's user info, as the single entry under kBlockKey.
constexpr std::string_view kBlockKey = "block";

class BlockBox final : public fnd::Object {
 public:
  static const fnd::Class& staticClass() {
    static const fnd::Class& cls = fnd::Class::define("QVProactorBlock", &fnd::Object::staticClass());
    return cls;
  }
  const fnd::Class& objectClass() const override { return staticClass(); }

  QVProactorAction::CompletionHandler handler;
  QVProactorAction::CompletionHook hook;
};

std::shared_ptr<fnd::Dictionary> userInfoWithBox(std::shared_ptr<BlockBox> box) {
  return fnd::Dictionary::make({{fnd::Value(kBlockKey), fnd::Value(std::move(box))}});
}

std::shared_ptr<BlockBox> boxInInfo(const QVStateMachineTransitionInfo& info) {
  FND_PARAMETER_ASSERT(info.userInfo() != nullptr);
  auto box = info.userInfo()->objectForKey(kBlockKey).as<BlockBox>();
  FND_PARAMETER_ASSERT(box != nullptr);
  return box;
}

fnd::Value stateValue(QVProactorAction::State state) { return fnd::Value(static_cast<long>(state)); }
fnd::Value eventValue(QVProactorAction::Event event) { return fnd::Value(static_cast<long>(event)); }

// Absent arguments are stored under the null object.
fnd::Value actionKey(const fnd::Value& argument) { return argument.isNil() ? fnd::Value(fnd::Null::null()) : argument; }

}  // namespace

// MARK: - QVProactorDelegate

QVProactorDelegate::~QVProactorDelegate() = default;

QVProactorDelegate::Operation QVProactorDelegate::operationNamed(std::string_view name) const {
  auto it = operations_.find(name);
  return it == operations_.end() ? Operation() : it->second;
}

void QVProactorDelegate::registerOperation(std::string name, Operation operation) {
  FND_PARAMETER_ASSERT(operation != nullptr);
  operations_.insert_or_assign(std::move(name), std::move(operation));
}

// MARK: - QVProactorResult

QVProactorResult::QVProactorResult(std::shared_ptr<QVProactorAction> action)
    : QVProactorResult(std::move(action), {}) {}

QVProactorResult::QVProactorResult(std::shared_ptr<QVProactorAction> action, Objects objects)
    : action_(std::move(action)), objectsByKey_(std::move(objects)) {
  FND_PARAMETER_ASSERT(action_ != nullptr);
  delegate_ = action_->delegate();
}

fnd::Value QVProactorResult::objectForKey(const fnd::Value& key) const {
  auto it = objectsByKey_.find(key);
  return it == objectsByKey_.end() ? fnd::Value() : it->second;
}

void QVProactorResult::setObject(const fnd::Value& object, const fnd::Value& key) {
  if (object.isNil() || key.isNil()) return;
  objectsByKey_.insert_or_assign(key, object);
}

std::optional<fnd::Error> QVProactorResult::error() const { return objectForKey(kErrorKey).errorValue(); }

void QVProactorResult::setError(const fnd::Error& error) { setObject(fnd::Value(error), kErrorKey); }

// MARK: - QVProactorAction

std::shared_ptr<QVProactorAction> QVProactorAction::create(const std::shared_ptr<QVProactorGroup>& group,
                                                           fnd::Value argument) {
  std::shared_ptr<QVProactorAction> action(new QVProactorAction(group, std::move(argument)));
  action->stateMachine_ = QVStateMachine::initWithTarget(action, stateValue(kStateIdle));
  action->registerTransitions();
  action->setup();
  return action;
}

QVProactorAction::QVProactorAction(const std::shared_ptr<QVProactorGroup>& group, fnd::Value argument)
    : argument_(std::move(argument)),
      group_(group),
      proactor_(group->proactor()),
      delegate_(group->proactor() ? group->proactor()->delegate() : nullptr),
      groupID_(group->identifier()),
      internalQueue_(group->internalQueue()) {}

QVProactorAction::~QVProactorAction() = default;

void QVProactorAction::registerTransitions() {
  // Handlers hold the action weakly: the machine belongs to the action.
  std::weak_ptr<QVProactorAction> weak = weak_from_this();
  auto bind = [weak](void (QVProactorAction::*method)()) {
    return [weak, method](const QVStateMachineTransitionInfo&) {
      if (auto self = weak.lock()) (self.get()->*method)();
    };
  };
  auto bindInfo = [weak](void (QVProactorAction::*method)(const QVStateMachineTransitionInfo&)) {
    return [weak, method](const QVStateMachineTransitionInfo& info) {
      if (auto self = weak.lock()) (self.get()->*method)(info);
    };
  };
  const fnd::Value idle = stateValue(kStateIdle);
  const fnd::Value running = stateValue(kStateRunning);
  const fnd::Value completing = stateValue(kStateCompleting);
  const fnd::Value completed = stateValue(kStateCompleted);
  QVStateMachine& machine = *stateMachine_;

  machine.addTransitionOnAction(eventValue(kEventStart), idle, running, bind(&QVProactorAction::runJob));
  machine.addTransitionOnAction(eventValue(kEventRestart), idle, running, bind(&QVProactorAction::runJob));
  machine.addTransitionOnAction(eventValue(kEventRestart), completed, running,
                                [weak](const QVStateMachineTransitionInfo&) {
                                  if (auto self = weak.lock()) {
                                    self->setup();
                                    self->runJob();
                                  }
                                });
  machine.addTransitionOnAction(eventValue(kEventComplete), std::vector<fnd::Value>{running, completing}, completing,
                                bind(&QVProactorAction::callNextHookOrDeliver));
  machine.addTransitionOnAction(eventValue(kEventDeliver), completing, completed, bind(&QVProactorAction::deliver));
  machine.addTransitionOnAction(eventValue(kEventAddCompletionHandler), idle, fnd::Value(),
                                bindInfo(&QVProactorAction::appendCompletionHandlerWhenIdle));
  machine.addTransitionOnAction(eventValue(kEventAddCompletionHandler), std::vector<fnd::Value>{running, completing},
                                fnd::Value(), bindInfo(&QVProactorAction::appendCompletionHandler));
  machine.addTransitionOnAction(eventValue(kEventAddCompletionHandler), completed, fnd::Value(),
                                bindInfo(&QVProactorAction::callCompletionHandlerAtOnce));
  machine.addTransitionOnAction(eventValue(kEventAddCompletionHook), fnd::Value(), fnd::Value(),
                                bindInfo(&QVProactorAction::appendCompletionHook));
  machine.addTransitionOnAction(eventValue(kEventReset), completed, idle, bind(&QVProactorAction::setup));
}

void QVProactorAction::performAsync(Event event, std::shared_ptr<fnd::Dictionary> userInfo) {
  internalQueue_.async([self = shared_from_this(), event, userInfo = std::move(userInfo)]() mutable {
    self->perform(event, std::move(userInfo));
  });
}

void QVProactorAction::perform(Event event, std::shared_ptr<fnd::Dictionary> userInfo) {
  FND_PARAMETER_ASSERT(internalQueue_.isCurrent());
  // Once the proactor is gone its actions stand still: waiting handlers are
  // never called.
  if (proactor_.expired()) {
    setup();
    return;
  }
  stateMachine_->performAction(eventValue(event), std::move(userInfo));
}

void QVProactorAction::addCompletionHandler(CompletionHandler handler) {
  FND_PARAMETER_ASSERT(handler != nullptr);
  auto box = std::make_shared<BlockBox>();
  box->handler = std::move(handler);
  performAsync(kEventAddCompletionHandler, userInfoWithBox(std::move(box)));
}

void QVProactorAction::addCompletionHook(CompletionHook hook) {
  FND_PARAMETER_ASSERT(hook != nullptr);
  auto box = std::make_shared<BlockBox>();
  box->hook = std::move(hook);
  internalQueue_.sync([&] { perform(kEventAddCompletionHook, userInfoWithBox(box)); });
}

void QVProactorAction::start() { performAsync(kEventStart); }
void QVProactorAction::restart() { performAsync(kEventRestart); }
void QVProactorAction::complete() { performAsync(kEventComplete); }
void QVProactorAction::reset() { performAsync(kEventReset); }

void QVProactorAction::completeAndReset() {
  internalQueue_.async([self = shared_from_this()] {
    self->resetAfterDelivery_ = true;
    self->perform(kEventComplete);
    // Still completing: hooks run first, and the delivery resets. Anything
    // else: delivered and reset already, or not running at all.
    if (self->stateMachine_->state() != stateValue(kStateCompleting)) self->resetAfterDelivery_ = false;
  });
}

void QVProactorAction::setObject(const fnd::Value& object, const fnd::Value& key) {
  if (object.isNil() || key.isNil()) return;
  internalQueue_.sync([&] { objects_.insert_or_assign(key, object); });
}

fnd::Value QVProactorAction::objectForKey(const fnd::Value& key) const {
  return internalQueue_.sync([&] {
    auto it = objects_.find(key);
    return it == objects_.end() ? fnd::Value() : it->second;
  });
}

void QVProactorAction::updateWithBlock(const std::function<void(Objects&)>& block) {
  FND_PARAMETER_ASSERT(block != nullptr);
  internalQueue_.sync([&] {
    block(objects_);
    // The result never holds nil; drop what the block may have left.
    std::erase_if(objects_, [](const auto& entry) { return entry.first.isNil() || entry.second.isNil(); });
  });
}

void QVProactorAction::setError(const fnd::Error& error) { setObject(fnd::Value(error), QVProactorResult::kErrorKey); }

std::optional<fnd::Error> QVProactorAction::error() const {
  return objectForKey(QVProactorResult::kErrorKey).errorValue();
}

bool QVProactorAction::isCompleted() const {
  return internalQueue_.sync([&] { return stateMachine_->state() == stateValue(kStateCompleted); });
}

QVProactorResult QVProactorAction::result() const {
  return internalQueue_.sync(
      [&] { return QVProactorResult(std::const_pointer_cast<QVProactorAction>(shared_from_this()), objects_); });
}

QVProactorResult QVProactorAction::copyOfResult() { return QVProactorResult(shared_from_this(), objects_); }

void QVProactorAction::setup() {
  objects_.clear();
  completionHandlers_.clear();
  completionHooks_.clear();
}

void QVProactorAction::runJob() {
  std::shared_ptr<QVProactorGroup> group = group_.lock();
  if (!group) return;
  QVProactor::invocationQueue().async([job = group->handlerBlock(), self = shared_from_this()] { job(self); });
}

void QVProactorAction::callNextHookOrDeliver() {
  if (completionHooks_.empty()) {
    perform(kEventDeliver);
    if (std::exchange(resetAfterDelivery_, false)) perform(kEventReset);
    return;
  }
  CompletionHook hook = std::move(completionHooks_.front());
  completionHooks_.erase(completionHooks_.begin());
  QVProactor::invocationQueue().async([hook = std::move(hook), self = shared_from_this()] { hook(self); });
}

void QVProactorAction::deliver() {
  std::vector<CompletionHandler> handlers = std::exchange(completionHandlers_, {});
  const QVProactorResult result = copyOfResult();
  // Each block captures its own copy of the result.
  for (CompletionHandler& handler : handlers) {
    QVProactor::invocationQueue().async([handler = std::move(handler), result] { handler(result); });
  }
}

void QVProactorAction::appendCompletionHandler(const QVStateMachineTransitionInfo& info) {
  completionHandlers_.push_back(boxInInfo(info)->handler);
}

void QVProactorAction::appendCompletionHandlerWhenIdle(const QVStateMachineTransitionInfo& info) {
  internalQueue_.async([self = shared_from_this(), handler = boxInInfo(info)->handler] {
    if (self->stateMachine_->state() == stateValue(kStateCompleted)) {
      QVProactor::invocationQueue().async([handler, result = self->copyOfResult()] { handler(result); });
      return;
    }
    self->completionHandlers_.push_back(handler);
    std::shared_ptr<QVProactorGroup> group = self->group_.lock();
    if (group && group->startsActionAutomatically()) self->perform(kEventStart);
  });
}

void QVProactorAction::callCompletionHandlerAtOnce(const QVStateMachineTransitionInfo& info) {
  QVProactor::invocationQueue().async(
      [handler = boxInInfo(info)->handler, result = copyOfResult()] { handler(result); });
}

void QVProactorAction::appendCompletionHook(const QVStateMachineTransitionInfo& info) {
  completionHooks_.push_back(boxInInfo(info)->hook);
}

// MARK: - QVProactorGroup

QVProactorGroup::QVProactorGroup(const std::shared_ptr<QVProactor>& proactor, fnd::Value identifier,
                                 bool startsActionAutomatically, HandlerBlock handlerBlock)
    : identifier_(std::move(identifier)),
      proactor_(proactor),
      startsActionAutomatically_(startsActionAutomatically),
      handlerBlock_(std::move(handlerBlock)),
      internalQueue_(proactor->internalQueue()) {}

QVProactorGroup::~QVProactorGroup() {
  // Actions that outlive their group (a job still holds them) will never
  // deliver; drop what waits on them so that handlers holding the action do
  // not keep it alive for ever.
  for (const auto& entry : actionsByArgument_) {
    if (entry.second.use_count() > 1) internalQueue_.async([action = entry.second] { action->setup(); });
  }
}

std::shared_ptr<QVProactorAction> QVProactorGroup::actionForArgument(const fnd::Value& argument) {
  const fnd::Value key = actionKey(argument);
  return internalQueue_.sync([&] {
    std::shared_ptr<QVProactorAction>& action = actionsByArgument_[key];
    if (!action) action = QVProactorAction::create(shared_from_this(), key);
    return action;
  });
}

// MARK: - QVProactor

std::shared_ptr<QVProactor> QVProactor::initWithDelegate(const std::shared_ptr<QVProactorDelegate>& delegate) {
  FND_PARAMETER_ASSERT_TEXT(delegate != nullptr, "delegate");
  return std::shared_ptr<QVProactor>(new QVProactor(delegate));
}

QVProactor::QVProactor(const std::shared_ptr<QVProactorDelegate>& delegate)
    : delegate_(delegate), internalQueue_(QVQueueBuilder::internalQueueWithName("Proactor")) {}

fnd::Queue QVProactor::invocationQueue() { return fnd::Queue::global(fnd::QualityOfService::utility); }

std::shared_ptr<QVProactorGroup> QVProactor::addGroupWithID(const fnd::Value& groupID, bool startsActionAutomatically,
                                                            HandlerBlock handlerBlock) {
  FND_PARAMETER_ASSERT_TEXT(!groupID.isNil(), "groupID");
  FND_PARAMETER_ASSERT_TEXT(handlerBlock != nullptr, "handlerBlock");
  std::shared_ptr<QVProactorGroup> group(
      new QVProactorGroup(shared_from_this(), groupID, startsActionAutomatically, std::move(handlerBlock)));
  internalQueue_.sync([&] {
    FND_PARAMETER_ASSERT_TEXT(!groupsByID_.contains(groupID), "!self.groupsByID[groupID]");
    groupsByID_.emplace(groupID, group);
  });
  return group;
}

std::shared_ptr<QVProactorGroup> QVProactor::addGroupWithID(const fnd::Value& groupID, bool startsActionAutomatically,
                                                            std::string_view delegateHandlerSelector) {
  if (auto delegate = delegate_.lock()) {
    FND_PARAMETER_ASSERT_TEXT(delegate->operationNamed(delegateHandlerSelector) != nullptr, "delegateHandlerSelector");
  }
  std::weak_ptr<QVProactorDelegate> weakDelegate = delegate_;
  std::string name(delegateHandlerSelector);
  return addGroupWithID(groupID, startsActionAutomatically,
                        [weakDelegate, name](const std::shared_ptr<QVProactorAction>& action) {
                          std::shared_ptr<QVProactorDelegate> delegate = weakDelegate.lock();
                          if (!delegate) return;
                          QVProactorDelegate::Operation operation = delegate->operationNamed(name);
                          if (!operation) return;
                          invocationQueue().async([delegate, operation, action] { operation(action); });
                        });
}

std::shared_ptr<QVProactorGroup> QVProactor::groupWithID(const fnd::Value& groupID) const {
  FND_PARAMETER_ASSERT_TEXT(!groupID.isNil(), "groupID");
  return internalQueue_.sync([&] {
    auto it = groupsByID_.find(groupID);
    return it == groupsByID_.end() ? std::shared_ptr<QVProactorGroup>() : it->second;
  });
}
