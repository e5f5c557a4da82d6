#include "tools/qv_proactor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "foundation/null.h"
#include "foundation/set.h"
#include "foundation/uuid.h"
#include "tools/qv_object_holder.h"

namespace {

using namespace std::chrono_literals;
using fnd::Value;

// Shared state of a test and the jobs, handlers and hooks it hands out; they
// run on the invocation queue, so every access is locked.
class Probe {
 public:
  // A job that records its action and leaves completing to the test.
  QVProactorGroup::HandlerBlock deferredJob() {
    return [state = state_](const std::shared_ptr<QVProactorAction>& action) {
      std::lock_guard lock(state->mutex);
      state->actions.push_back(action);
      state->events.push_back("job");
      state->changed.notify_all();
    };
  }

  // A job that stores a fresh identifier under "value" and completes.
  QVProactorGroup::HandlerBlock completingJob() {
    return [state = state_](const std::shared_ptr<QVProactorAction>& action) {
      {
        std::lock_guard lock(state->mutex);
        state->actions.push_back(action);
        state->events.push_back("job");
        state->changed.notify_all();
      }
      action->setObject(Value(fnd::UUID::make()), "value");
      action->complete();
    };
  }

  QVProactorAction::CompletionHandler handler(std::string name = "handler") {
    return [state = state_, name](const QVProactorResult& result) {
      std::lock_guard lock(state->mutex);
      state->results.push_back(result);
      state->events.push_back(name);
      state->changed.notify_all();
    };
  }

  // Records without keeping the probe alive: the delegate uses it, and the
  // results the probe keeps hold the delegate.
  std::function<void(std::string)> weakRecorder() const {
    return [weak = std::weak_ptr<State>(state_)](std::string event) {
      if (auto state = weak.lock()) {
        std::lock_guard lock(state->mutex);
        state->events.push_back(std::move(event));
        state->changed.notify_all();
      }
    };
  }

  void record(std::string event) {
    std::lock_guard lock(state_->mutex);
    state_->events.push_back(std::move(event));
    state_->changed.notify_all();
  }

  bool waitForJobs(std::size_t count) {
    return waitUntil([&] { return state_->actions.size() >= count; });
  }
  bool waitForResults(std::size_t count, std::chrono::milliseconds timeout = 5s) {
    return waitUntil([&] { return state_->results.size() >= count; }, timeout);
  }

  std::size_t jobCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->actions.size();
  }
  std::shared_ptr<QVProactorAction> jobAction(std::size_t index) const {
    std::lock_guard lock(state_->mutex);
    return state_->actions.at(index);
  }
  std::vector<QVProactorResult> results() const {
    std::lock_guard lock(state_->mutex);
    return state_->results;
  }
  std::vector<std::string> events() const {
    std::lock_guard lock(state_->mutex);
    return state_->events;
  }

 private:
  struct State {
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::shared_ptr<QVProactorAction>> actions;
    std::vector<QVProactorResult> results;
    std::vector<std::string> events;
  };

  template <class Predicate>
  bool waitUntil(Predicate predicate, std::chrono::milliseconds timeout = 5s) {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, timeout, predicate);
  }

  std::shared_ptr<State> state_ = std::make_shared<State>();
};

class TestDelegate : public QVProactorDelegate {
 public:
  explicit TestDelegate(const Probe& probe) : record_(probe.weakRecorder()) {
    registerOperation("makeThing", [this](const std::shared_ptr<QVProactorAction>& action) { makeThing(action); });
  }

 private:
  void makeThing(const std::shared_ptr<QVProactorAction>& action) {
    action->setObject(Value("thing for " + action->argument().description()), "value");
    record_("makeThing");
    action->complete();
  }

  std::function<void(std::string)> record_;
};

class QVProactorTest : public ::testing::Test {
 protected:
  // Waits for everything submitted to the internal queue so far, including
  // work those blocks submit there in turn.
  void drainInternalQueue() {
    for (int i = 0; i < 3; ++i) proactor->internalQueue().sync([] {});
  }

  Probe probe;
  std::shared_ptr<TestDelegate> delegate = std::make_shared<TestDelegate>(probe);
  std::shared_ptr<QVProactor> proactor = QVProactor::initWithDelegate(delegate);
};

TEST_F(QVProactorTest, GroupsAndActionsAreFoundByKey) {
  auto group = proactor->addGroupWithID("services", true, probe.deferredJob());
  EXPECT_EQ(proactor->groupWithID("services"), group);
  EXPECT_EQ((*proactor)["services"], group);
  EXPECT_EQ(proactor->groupWithID("other"), nullptr);
  EXPECT_EQ(group->proactor(), proactor);
  EXPECT_EQ(proactor->internalQueue().label(), "com.quorvex.Proactor.internal-queue");

  auto defaultAction = group->defaultAction();
  EXPECT_EQ(group->actionForArgument(Value()), defaultAction);
  EXPECT_EQ(defaultAction->argument(), Value(fnd::Null::null()));
  auto first = group->actionForArgument("a");
  EXPECT_EQ((*group)["a"], first);
  EXPECT_NE(group->actionForArgument("b"), first);
  EXPECT_EQ(first->groupID(), Value("services"));
  EXPECT_EQ(first->group(), group);
  EXPECT_EQ(first->delegate(), delegate);
  EXPECT_FALSE(first->isCompleted());
}

TEST_F(QVProactorTest, ConcurrentRequestsShareOneRunOfTheJob) {
  auto group = proactor->addGroupWithID("services", true, probe.deferredJob());
  auto action = group->defaultAction();
  for (int i = 0; i < 3; ++i) action->addCompletionHandler(probe.handler());

  ASSERT_TRUE(probe.waitForJobs(1));
  action->setObject("made", "value");
  action->complete();

  ASSERT_TRUE(probe.waitForResults(3));
  EXPECT_EQ(probe.jobCount(), 1u);
  for (const QVProactorResult& result : probe.results()) {
    EXPECT_EQ(result.objectsByKey(), probe.results()[0].objectsByKey());
    EXPECT_EQ(result["value"], Value("made"));
    EXPECT_EQ(result.action(), action);
    EXPECT_EQ(result.delegate(), delegate);
  }
  EXPECT_TRUE(action->isCompleted());
}

TEST_F(QVProactorTest, ManyThreadsAskingAtOnceRunTheJobExactlyOnce) {
  auto group = proactor->addGroupWithID("services", true, probe.completingJob());
  constexpr std::size_t kThreads = 16;
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < kThreads; ++i) {
    threads.emplace_back([&] {
      while (!go.load()) std::this_thread::yield();
      group->actionForArgument("identity")->addCompletionHandler(probe.handler());
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();

  ASSERT_TRUE(probe.waitForResults(kThreads));
  EXPECT_EQ(probe.jobCount(), 1u);
  const Value first = probe.results()[0]["value"];
  ASSERT_FALSE(first.isNil());
  for (const QVProactorResult& result : probe.results()) EXPECT_EQ(result["value"], first);
}

TEST_F(QVProactorTest, LaterRequestsGetTheCachedResultUntilReset) {
  auto group = proactor->addGroupWithID("services", true, probe.completingJob());
  auto action = group->defaultAction();
  action->addCompletionHandler(probe.handler());
  ASSERT_TRUE(probe.waitForResults(1));
  const Value firstValue = probe.results()[0]["value"];

  action->addCompletionHandler(probe.handler());
  ASSERT_TRUE(probe.waitForResults(2));
  EXPECT_EQ(probe.jobCount(), 1u);
  EXPECT_EQ(probe.results()[1]["value"], firstValue);

  action->reset();
  action->addCompletionHandler(probe.handler());
  ASSERT_TRUE(probe.waitForResults(3));
  EXPECT_EQ(probe.jobCount(), 2u);
  EXPECT_NE(probe.results()[2]["value"], firstValue);
}

// A result completed and reset in one step is never handed to a request made
// after it was delivered, even one made by its own handler; with hooks the
// reset waits for the delivery.
TEST_F(QVProactorTest, CompleteAndResetHandsTheResultOnlyToThoseWaiting) {
  auto group = proactor->addGroupWithID("services", true, probe.deferredJob());
  auto action = group->defaultAction();
  action->addCompletionHandler([&](const QVProactorResult&) { action->addCompletionHandler(probe.handler("later")); });
  action->addCompletionHandler(probe.handler("waiting"));
  ASSERT_TRUE(probe.waitForJobs(1));
  action->setObject("first", "value");
  action->completeAndReset();
  ASSERT_TRUE(probe.waitForResults(1));
  ASSERT_TRUE(probe.waitForJobs(2));
  EXPECT_EQ(probe.results()[0]["value"], Value("first"));
  EXPECT_FALSE(probe.waitForResults(2, 50ms)) << "the later request got the stale result";

  action->addCompletionHook([](const std::shared_ptr<QVProactorAction>& hooked) { hooked->complete(); });
  action->setObject("second", "value");
  action->completeAndReset();
  ASSERT_TRUE(probe.waitForResults(2));
  EXPECT_EQ(probe.results()[1]["value"], Value("second"));
  drainInternalQueue();
  EXPECT_FALSE(action->isCompleted());
}

TEST_F(QVProactorTest, ResetAndSecondCompleteAreIgnoredOutOfTurn) {
  auto group = proactor->addGroupWithID("services", true, probe.deferredJob());
  auto action = group->defaultAction();
  action->addCompletionHandler(probe.handler());
  ASSERT_TRUE(probe.waitForJobs(1));

  action->reset();  // running: ignored, so the completion below still delivers
  action->setObject("made", "value");
  action->complete();
  action->complete();
  ASSERT_TRUE(probe.waitForResults(1));
  drainInternalQueue();
  EXPECT_TRUE(action->isCompleted());
  EXPECT_EQ(probe.results().size(), 1u);
  EXPECT_EQ(action->objectForKey("value"), Value("made"));
  EXPECT_EQ(probe.jobCount(), 1u);
}

TEST_F(QVProactorTest, RestartAfterCompletionStartsAfresh) {
  auto group = proactor->addGroupWithID("services", false, probe.deferredJob());
  auto action = group->defaultAction();
  action->restart();  // from idle, like start
  ASSERT_TRUE(probe.waitForJobs(1));
  action->setObject("old", "stale");
  action->complete();
  drainInternalQueue();
  ASSERT_TRUE(action->isCompleted());

  action->restart();
  ASSERT_TRUE(probe.waitForJobs(2));
  EXPECT_FALSE(action->isCompleted());
  EXPECT_TRUE(action->objectForKey("stale").isNil());
}

TEST_F(QVProactorTest, HooksRunOneAtATimeBeforeDelivery) {
  auto group = proactor->addGroupWithID("services", true, probe.completingJob());
  auto action = group->defaultAction();
  action->addCompletionHook([this](const std::shared_ptr<QVProactorAction>& hooked) {
    probe.record("hook1");
    hooked->setObject("one", "hook1");
    hooked->complete();
  });
  action->addCompletionHook([this](const std::shared_ptr<QVProactorAction>& hooked) {
    probe.record(hooked->objectForKey("hook1") == Value("one") ? "hook2 after hook1" : "hook2 alone");
    hooked->setObject("two", "hook2");
    hooked->complete();
  });
  action->addCompletionHandler(probe.handler());

  ASSERT_TRUE(probe.waitForResults(1));
  EXPECT_EQ(probe.events(), (std::vector<std::string>{"job", "hook1", "hook2 after hook1", "handler"}));
  EXPECT_EQ(probe.results()[0]["hook2"], Value("two"));
}

TEST_F(QVProactorTest, HandlersWaitForTheLastHook) {
  auto group = proactor->addGroupWithID("services", true, probe.completingJob());
  auto action = group->defaultAction();
  action->addCompletionHook([this](const std::shared_ptr<QVProactorAction>&) { probe.record("hook"); });
  action->addCompletionHandler(probe.handler());
  ASSERT_TRUE(probe.waitForJobs(1));
  EXPECT_FALSE(probe.waitForResults(1, 50ms));
  EXPECT_FALSE(action->isCompleted());

  action->complete();
  EXPECT_TRUE(probe.waitForResults(1));
}

TEST_F(QVProactorTest, ManualGroupWaitsForStart) {
  auto group = proactor->addGroupWithID("services", false, probe.completingJob());
  auto action = group->defaultAction();
  action->addCompletionHandler(probe.handler());
  drainInternalQueue();
  EXPECT_EQ(probe.jobCount(), 0u);
  EXPECT_TRUE(probe.results().empty());

  action->start();
  ASSERT_TRUE(probe.waitForResults(1));
  EXPECT_EQ(probe.jobCount(), 1u);
}

TEST_F(QVProactorTest, DelegateOperationServesAsTheJob) {
  auto group = proactor->addGroupWithID("things", true, std::string_view("makeThing"));
  group->actionForArgument("x")->addCompletionHandler(probe.handler());
  ASSERT_TRUE(probe.waitForResults(1));
  EXPECT_EQ(probe.results()[0]["value"], Value("thing for x"));
  EXPECT_EQ(probe.events(), (std::vector<std::string>{"makeThing", "handler"}));
}

TEST_F(QVProactorTest, GroupOfAGoneDelegateNeverCompletes) {
  auto group = proactor->addGroupWithID("things", true, std::string_view("makeThing"));
  delegate.reset();
  auto action = group->defaultAction();
  EXPECT_EQ(action->delegate(), nullptr);
  action->addCompletionHandler(probe.handler());
  EXPECT_FALSE(probe.waitForResults(1, 50ms));
  EXPECT_FALSE(action->isCompleted());
}

TEST_F(QVProactorTest, WaitingHandlersAreDroppedWithTheProactor) {
  auto action = proactor->addGroupWithID("services", true, probe.deferredJob())->defaultAction();
  action->addCompletionHandler(probe.handler());
  ASSERT_TRUE(probe.waitForJobs(1));
  drainInternalQueue();

  const fnd::Queue queue = proactor->internalQueue();
  proactor.reset();
  EXPECT_EQ(action->group(), nullptr);
  action->complete();
  queue.sync([] {});
  EXPECT_FALSE(probe.waitForResults(1, 50ms));
}

TEST_F(QVProactorTest, ResultStoresIgnoreNilAndKeepErrorsApart) {
  auto action = proactor->addGroupWithID("services", false, probe.deferredJob())->defaultAction();
  action->setObject("a", "key");
  action->setObject(Value(), "key");
  action->setObject("b", Value());
  EXPECT_EQ(action->objectForKey("key"), Value("a"));

  EXPECT_FALSE(action->error().has_value());
  action->setObject("not an error", QVProactorResult::kErrorKey);
  EXPECT_FALSE(action->error().has_value());
  action->setError(fnd::Error("com.quorvex.test", 7));
  ASSERT_TRUE(action->error().has_value());
  EXPECT_TRUE(action->error()->is("com.quorvex.test", 7));

  action->updateWithBlock([](QVProactorResult::Objects& objects) {
    objects.erase(Value("key"));
    objects[Value("other")] = Value(3);
  });
  QVProactorResult result = action->result();
  EXPECT_TRUE(result["key"].isNil());
  EXPECT_EQ(result["other"], Value(3));
  EXPECT_TRUE(result.error()->is("com.quorvex.test", 7));

  result.setObject(Value(), "other");
  EXPECT_EQ(result["other"], Value(3));
  // Copies own their dictionary.
  QVProactorResult copy = result;
  copy.setObject(Value(4), "other");
  EXPECT_EQ(result["other"], Value(3));
  EXPECT_EQ(action->objectForKey("other"), Value(3));
  EXPECT_EQ(copy.action(), result.action());
  QVProactorResult fresh(action);
  EXPECT_TRUE(fresh.objectsByKey().empty());
  EXPECT_EQ(fresh.delegate(), delegate);
}

TEST(QVProactorDeathTest, ProgrammingErrorsAreCaught) {
  // The statements wait on queues, whose worker threads a plain fork lacks.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(QVProactor::initWithDelegate(nullptr), "Invalid parameter not satisfying: delegate");
  auto delegate = std::make_shared<TestDelegate>(Probe());
  auto proactor = QVProactor::initWithDelegate(delegate);
  proactor->addGroupWithID("g", true, [](const std::shared_ptr<QVProactorAction>&) {});
  EXPECT_DEATH(proactor->addGroupWithID("g", true, [](const std::shared_ptr<QVProactorAction>&) {}),
               "Invalid parameter not satisfying: !self.groupsByID\\[groupID\\]");
  EXPECT_DEATH(proactor->addGroupWithID(Value(), true, [](const std::shared_ptr<QVProactorAction>&) {}),
               "Invalid parameter not satisfying: groupID");
  EXPECT_DEATH(proactor->addGroupWithID("h", true, QVProactorGroup::HandlerBlock()),
               "Invalid parameter not satisfying: handlerBlock");
  EXPECT_DEATH(proactor->addGroupWithID("h", true, std::string_view("noSuchOperation")),
               "Invalid parameter not satisfying: delegateHandlerSelector");
  EXPECT_DEATH(QVProactorResult(nullptr), "Invalid parameter not satisfying");
}

// MARK: - Object holders

struct Base {
  virtual ~Base() = default;
};
struct Other {
  virtual ~Other() = default;
  int tag = 0;
};
struct Both : Base, Other {};

TEST(QVObjectHolder, HoldersCompareByKindAndObject) {
  auto object = std::make_shared<Both>();
  std::shared_ptr<Base> asBase = object;
  std::shared_ptr<Other> asOther = object;

  // The same object reached through different bases is one object.
  EXPECT_TRUE(QVObjectHolder::strongHolderOfObject(asBase)->isEqual(*QVObjectHolder::strongHolderOfObject(asOther)));
  EXPECT_EQ(QVObjectHolder::strongHolderOfObject(asBase)->hash(),
            QVObjectHolder::strongHolderOfObject(asOther)->hash());
  EXPECT_FALSE(QVObjectHolder::strongHolderOfObject(object)->isEqual(*QVObjectHolder::weakHolderForObject(object)));
  EXPECT_FALSE(QVObjectHolder::weakHolderForObject(object)->isEqual(
      *QVObjectHolder::weakHolderForObject(std::make_shared<Both>())));

  auto set = fnd::Set::make({Value(QVObjectHolder::weakHolderForObject(asBase))});
  EXPECT_TRUE(set->containsObject(Value(QVObjectHolder::weakHolderForObject(asOther))));
}

TEST(QVObjectHolder, StrongKeepsWeakForgetsUnownedOnlyPoints) {
  auto object = std::make_shared<Other>();
  object->tag = 5;
  std::weak_ptr<Other> watch = object;
  auto strong = QVObjectHolder::strongHolderOfObject(object);
  auto weak = QVObjectHolder::weakHolderForObject(object);
  auto unowned = QVObjectHolder::unownedHolderForObject(object.get());
  auto laterWeak = QVObjectHolder::weakHolderForObject(object);
  EXPECT_EQ(weak->objectAs<Other>()->tag, 5);
  EXPECT_EQ(unowned->unownedObjectAs<Other>()->tag, 5);
  EXPECT_EQ(unowned->object(), nullptr);

  object.reset();
  EXPECT_FALSE(watch.expired());
  EXPECT_EQ(strong->objectAs<Other>()->tag, 5);
  strong.reset();
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(weak->object(), nullptr);
  // A weak holder still compares by the address it was made for.
  EXPECT_TRUE(weak->isEqual(*laterWeak));
  EXPECT_EQ(weak->unretainedObject(), unowned->address());
}

TEST(QVObjectHolderDeathTest, ObjectIsRequired) {
  EXPECT_DEATH(QVObjectHolder::strongHolderOfObject(std::shared_ptr<Other>()),
               "Invalid parameter not satisfying: object");
  EXPECT_DEATH(QVObjectHolder::unownedHolderForObject(static_cast<Other*>(nullptr)),
               "Invalid parameter not satisfying: object");
}

}  // namespace
