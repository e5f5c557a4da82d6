#include "tools/qv_state_machine.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using fnd::Value;

struct Call {
  std::string name;
  Value handle;
  Value fromState;
  Value toState;
};

// A target whose name-derived methods are the entries a test puts in its
// tables, recording every call it gets.
class RecordingTarget : public QVStateMachineTarget {
 public:
  TransitionInfoMethod methodWithTransitionInfo(std::string_view actionName) override {
    auto it = transitionInfoMethods.find(std::string(actionName));
    return it == transitionInfoMethods.end() ? TransitionInfoMethod() : it->second;
  }
  InfoMethod methodWithInfo(std::string_view actionName) override {
    auto it = infoMethods.find(std::string(actionName));
    return it == infoMethods.end() ? InfoMethod() : it->second;
  }
  void stateMachineDidPerformTransiton(const std::shared_ptr<QVStateMachine>& machine,
                                       const QVStateMachineTransitionInfo& info,
                                       const std::vector<Value>& affectedHandles) override {
    EXPECT_EQ(machine, info.stateMachine());
    EXPECT_TRUE(info.handle().isNil());
    notifications.push_back(affectedHandles);
  }

  std::map<std::string, TransitionInfoMethod> transitionInfoMethods;
  std::map<std::string, InfoMethod> infoMethods;
  std::vector<std::vector<Value>> notifications;
};

class QVStateMachineTest : public ::testing::Test {
 protected:
  QVStateMachineTransition::Handler record(std::string name) {
    return [this, name](const QVStateMachineTransitionInfo& info) {
      calls.push_back({name, info.handle(), info.fromState(), info.toState()});
    };
  }

  std::shared_ptr<RecordingTarget> target = std::make_shared<RecordingTarget>();
  std::shared_ptr<QVStateMachine> machine = QVStateMachine::initWithTarget(target, Value("A"));
  std::vector<Call> calls;
};

TEST_F(QVStateMachineTest, HandlersRunAfterTheWalkAndAllSeeTheFinalState) {
  Value h1 = machine->addTransitionOnAction("go", "A", "B", record("h1"));
  Value h2 = machine->addTransitionOnAction("go", Value(), Value(), record("h2"));

  machine->performAction("go");

  EXPECT_EQ(machine->state(), Value("B"));
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].name, "h1");
  EXPECT_EQ(calls[0].handle, h1);
  EXPECT_EQ(calls[1].name, "h2");
  EXPECT_EQ(calls[1].handle, h2);
  for (const Call& call : calls) {
    EXPECT_EQ(call.fromState, Value("A"));
    EXPECT_EQ(call.toState, Value("B"));
  }
  ASSERT_EQ(target->notifications.size(), 1u);
  EXPECT_EQ(target->notifications[0], (std::vector<Value>{h1, h2}));
}

TEST_F(QVStateMachineTest, ActionFromAnotherStateOnlyMatchesTheWildcardTransition) {
  machine = QVStateMachine::initWithTarget(target, Value("C"));
  machine->addTransitionOnAction("go", "A", "B", record("h1"));
  Value h2 = machine->addTransitionOnAction("go", Value(), Value(), record("h2"));

  machine->performAction("go");

  EXPECT_EQ(machine->state(), Value("C"));
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].name, "h2");
  EXPECT_TRUE(calls[0].toState.isNil());
  EXPECT_EQ(target->notifications.back(), (std::vector<Value>{h2}));
}

TEST_F(QVStateMachineTest, UnmatchedActionKeepsTheStateAndStillNotifies) {
  machine->addTransitionOnAction("go", "A", "B", record("h1"));
  machine->performAction("stop");
  EXPECT_EQ(machine->state(), Value("A"));
  EXPECT_TRUE(calls.empty());
  ASSERT_EQ(target->notifications.size(), 1u);
  EXPECT_TRUE(target->notifications[0].empty());
}

TEST_F(QVStateMachineTest, LaterToStateOverridesEarlierOne) {
  machine->addTransitionOnAction("go", "A", "B", record("h1"));
  machine->addTransitionOnAction("go", "A", "D", nullptr);
  machine->performAction("go");
  EXPECT_EQ(machine->state(), Value("D"));
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].toState, Value("D"));
}

TEST_F(QVStateMachineTest, TransitionWithoutAnyHandlerStillMovesTheState) {
  machine->addTransitionOnAction("go", "A", "B", nullptr);
  machine->performAction("go");
  EXPECT_EQ(machine->state(), Value("B"));
  EXPECT_TRUE(target->notifications.back().empty());
}

TEST_F(QVStateMachineTest, TargetMethodsFollowThePrecedence) {
  std::vector<std::string> order;
  target->transitionInfoMethods["start"] = [&](const QVStateMachineTransitionInfo& info) {
    order.push_back("startWithTransitionInfo:" + info.toState().description());
  };
  target->infoMethods["start"] = [&](const std::shared_ptr<fnd::Dictionary>&) { order.push_back("startWithInfo:"); };
  target->infoMethods["stop"] = [&](const std::shared_ptr<fnd::Dictionary>& userInfo) {
    order.push_back("stopWithInfo:" + userInfo->objectForKey("reason").description());
  };

  Value own = machine->addTransitionOnAction("start", "A", "B", record("own"));
  Value named = machine->addTransitionOnAction("start", Value(), Value(), nullptr);
  machine->performAction("start");
  EXPECT_EQ(calls.size(), 1u);
  EXPECT_EQ(order, (std::vector<std::string>{"startWithTransitionInfo:B"}));
  EXPECT_EQ(target->notifications.back(), (std::vector<Value>{own, named}));

  machine->addTransitionOnAction("stop", Value(), "A", nullptr);
  machine->performAction("stop", fnd::Dictionary::make({{Value("reason"), Value("done")}}));
  EXPECT_EQ(order.back(), "stopWithInfo:done");
  EXPECT_EQ(machine->state(), Value("A"));
}

TEST_F(QVStateMachineTest, NonTextActionsNeverReachTheTarget) {
  bool called = false;
  target->infoMethods["1"] = [&](const std::shared_ptr<fnd::Dictionary>&) { called = true; };
  machine->addTransitionOnAction(Value(1), Value(), "B", nullptr);
  machine->performAction(Value(1));
  EXPECT_FALSE(called);
  EXPECT_EQ(machine->state(), Value("B"));
}

TEST_F(QVStateMachineTest, RemoveTransitionFromItsHandlerMakesItOneShot) {
  int runs = 0;
  machine->addTransitionOnAction("ping", Value(), Value(), [&](const QVStateMachineTransitionInfo& info) {
    ++runs;
    info.removeTransition();
  });
  machine->performAction("ping");
  machine->performAction("ping");
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(machine->transitions().empty());
}

TEST_F(QVStateMachineTest, EqualRegistrationsGetDistinctHandlesAndBothRun) {
  Value first = machine->addTransitionOnAction("go", "A", "B", record("first"));
  Value second = machine->addTransitionOnAction("go", "A", "B", record("second"));
  EXPECT_NE(first, second);
  ASSERT_EQ(machine->transitions().size(), 2u);
  EXPECT_EQ(machine->transitions()[0], machine->transitions()[1]);
  EXPECT_EQ(machine->transitions()[0].hash(), machine->transitions()[1].hash());
  EXPECT_FALSE(machine->transitions()[0] == QVStateMachineTransition(first, "go", "A", "C", nullptr));

  machine->performAction("go");
  EXPECT_EQ(calls.size(), 2u);

  EXPECT_TRUE(machine->removeTransitionWithHandle(second));
  EXPECT_FALSE(machine->removeTransitionWithHandle(second));
  ASSERT_EQ(machine->transitions().size(), 1u);
  EXPECT_EQ(machine->transitions()[0].handle(), first);
}

TEST_F(QVStateMachineTest, ListOfFromStatesRegistersOnePerState) {
  EXPECT_TRUE(machine->addTransitionOnAction("go", std::vector<Value>{}, "B", record("none")).empty());
  EXPECT_TRUE(machine->transitions().empty());

  std::vector<Value> handles = machine->addTransitionOnAction("go", std::vector<Value>{"A", "C"}, "B", record("h"));
  ASSERT_EQ(handles.size(), 2u);
  EXPECT_EQ(machine->transitions()[0].fromState(), Value("A"));
  EXPECT_EQ(machine->transitions()[1].fromState(), Value("C"));
  EXPECT_EQ(machine->transitions()[1].handle(), handles[1]);
}

TEST_F(QVStateMachineTest, NestedActionRunsToCompletionBeforeRemainingHandlers) {
  std::vector<std::string> order;
  machine->addTransitionOnAction("outer", "A", "B", [&](const QVStateMachineTransitionInfo&) {
    order.push_back("outer1");
    machine->performAction("inner");
  });
  machine->addTransitionOnAction("outer", Value(), Value(), [&](const QVStateMachineTransitionInfo& info) {
    order.push_back("outer2:" + info.toState().description() + ":" + machine->state().description());
  });
  machine->addTransitionOnAction("inner", "B", "C", [&](const QVStateMachineTransitionInfo& info) {
    order.push_back("inner:" + info.fromState().description());
  });

  machine->performAction("outer");

  EXPECT_EQ(order, (std::vector<std::string>{"outer1", "inner:B", "outer2:B:C"}));
  EXPECT_EQ(machine->state(), Value("C"));
}

TEST_F(QVStateMachineTest, RegistrationsFromAHandlerApplyFromTheNextAction) {
  int late = 0;
  machine->addTransitionOnAction("go", Value(), Value(), [&](const QVStateMachineTransitionInfo&) {
    machine->addTransitionOnAction("go", Value(), Value(), [&](const QVStateMachineTransitionInfo&) { ++late; });
  });
  machine->performAction("go");
  EXPECT_EQ(late, 0);
  machine->performAction("go");
  EXPECT_EQ(late, 1);
}

TEST_F(QVStateMachineTest, WorksWithoutATargetAndAfterItIsGone) {
  auto lone = QVStateMachine::initWithTarget(std::weak_ptr<QVStateMachineTarget>(), Value(0));
  lone->addTransitionOnAction(Value(1), Value(0), Value(2), nullptr);
  lone->performAction(Value(1));
  EXPECT_EQ(lone->state(), Value(2));

  machine->addTransitionOnAction("go", Value(), "B",
                                 [](const QVStateMachineTransitionInfo& info) { EXPECT_EQ(info.target(), nullptr); });
  target.reset();
  machine->performAction("go");
  EXPECT_EQ(machine->state(), Value("B"));
}

TEST(QVStateMachineDeathTest, RequiresInitialStateAndAction) {
  EXPECT_DEATH(QVStateMachine::initWithTarget({}, Value()), "Invalid parameter not satisfying: initialState");
  auto machine = QVStateMachine::initWithTarget({}, Value("A"));
  EXPECT_DEATH(machine->performAction(Value()), "Invalid parameter not satisfying: action");
}

}  // namespace
