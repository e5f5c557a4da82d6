#include "tools/qv_cancellation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/semaphore.h"

namespace {

using namespace std::chrono_literals;

// Counts handler calls from any thread and checks where they run.
class HandlerLog {
 public:
  QVCancellation::Handler handler(int tag = 0) {
    return [state = state_, tag] {
      {
        std::lock_guard lock(state->mutex);
        state->tags.push_back(tag);
        state->threads.push_back(std::this_thread::get_id());
        state->onManagerQueue |= QVCancellationManager::sharedInstance().queue().isCurrent();
        state->onUtilityQueue &= fnd::Queue::global(fnd::QualityOfService::utility).isCurrent();
      }
      state->called.signal();
    };
  }

  // Waits for `count` calls, then makes sure no further call is on its way.
  bool expectCalls(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      if (!state_->called.waitFor(5s)) return false;
    }
    return !state_->called.waitFor(20ms);
  }

  std::vector<int> tags() const {
    std::lock_guard lock(state_->mutex);
    return state_->tags;
  }
  bool ranInOneTaskOnTheUtilityQueue() const {
    std::lock_guard lock(state_->mutex);
    for (std::thread::id thread : state_->threads) {
      if (thread != state_->threads.front()) return false;
    }
    return state_->onUtilityQueue && !state_->onManagerQueue;
  }

 private:
  struct State {
    std::mutex mutex;
    std::vector<int> tags;
    std::vector<std::thread::id> threads;
    bool onManagerQueue = false;
    bool onUtilityQueue = true;
    fnd::Semaphore called{0};
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

TEST(QVCancellationToken, HandlersRunOnceWhenCancelledOrAtOnceAfterwards) {
  auto token = QVCancellationToken::create();
  HandlerLog log;
  token->addCancellationHandler(log.handler(1));
  token->addCancellationHandler(log.handler(2));
  token->addCancellationHandler(log.handler(3));
  EXPECT_FALSE(token->isCancelled());
  EXPECT_TRUE(log.expectCalls(0));

  token->cancel();
  EXPECT_TRUE(token->isCancelled());
  EXPECT_TRUE(log.expectCalls(3));
  EXPECT_EQ(log.tags(), (std::vector<int>{1, 2, 3}));
  EXPECT_TRUE(log.ranInOneTaskOnTheUtilityQueue());

  token->addCancellationHandler(log.handler(4));
  EXPECT_TRUE(log.expectCalls(1));
  token->cancel();
  EXPECT_TRUE(log.expectCalls(0));
  EXPECT_EQ(log.tags(), (std::vector<int>{1, 2, 3, 4}));
}

TEST(QVCancellationToken, HandlersMayCallBackIntoCancellation) {
  auto first = QVCancellationToken::create();
  auto second = QVCancellationToken::create();
  HandlerLog log;
  first->addCancellationHandler([second] { second->cancel(); });
  second->addCancellationHandler(log.handler());
  first->cancel();
  EXPECT_TRUE(log.expectCalls(1));
  EXPECT_TRUE(second->isCancelled());
}

TEST(QVCancellationManager, SharedQueueAndReentrantBlocks) {
  QVCancellationManager& manager = QVCancellationManager::sharedInstance();
  EXPECT_EQ(&manager, &QVCancellationManager::sharedInstance());
  EXPECT_EQ(manager.queue().label(), "com.quorvex.cancellation-manager.internal-queue");
  bool inner = false;
  manager.performBlock([&] {
    EXPECT_TRUE(manager.queue().isCurrent());
    manager.performBlock([&] { inner = true; });
  });
  EXPECT_TRUE(inner);
}

class QVCancellationGroupTest : public ::testing::Test {
 protected:
  std::shared_ptr<QVCancellationToken> first = QVCancellationToken::create();
  std::shared_ptr<QVCancellationToken> second = QVCancellationToken::create();
  HandlerLog log;
};

TEST_F(QVCancellationGroupTest, AnyPolicyCancelsWithTheFirstChildAndThenTheRest) {
  auto group = QVCancellationGroup::initWithPolicy(QVCancellationGroup::kPolicyAny);
  group->addChild(first);
  group->addChild(second);
  group->addCancellationHandler(log.handler());
  second->addCancellationHandler(log.handler());

  first->cancel();
  // Synchronous: the group and its other child are cancelled on return.
  EXPECT_TRUE(group->isCancelled());
  EXPECT_TRUE(second->isCancelled());
  EXPECT_TRUE(log.expectCalls(2));
}

TEST_F(QVCancellationGroupTest, AllPolicyWaitsForEveryChild) {
  auto group = QVCancellationGroup::initWithPolicy(QVCancellationGroup::kPolicyAll);
  group->addChild(first);
  group->addChild(second);
  group->addCancellationHandler(log.handler());

  first->cancel();
  EXPECT_FALSE(group->isCancelled());
  EXPECT_FALSE(second->isCancelled());
  EXPECT_TRUE(log.expectCalls(0));

  second->cancel();
  EXPECT_TRUE(group->isCancelled());
  EXPECT_TRUE(log.expectCalls(1));
}

TEST_F(QVCancellationGroupTest, AnyPositivePolicyMeansAll) {
  auto group = QVCancellationGroup::initWithPolicy(7);
  group->addChild(first);
  group->addChild(second);
  first->cancel();
  EXPECT_FALSE(group->isCancelled());
  second->cancel();
  EXPECT_TRUE(group->isCancelled());
}

TEST_F(QVCancellationGroupTest, AddingCancelledChildrenChecksAtOnce) {
  first->cancel();
  auto any = QVCancellationGroup::initWithPolicy(QVCancellationGroup::kPolicyAny);
  any->addChild(first);
  EXPECT_TRUE(any->isCancelled());

  auto all = QVCancellationGroup::initWithPolicy(QVCancellationGroup::kPolicyAll);
  all->addChild(second);
  all->addChild(first);
  EXPECT_FALSE(all->isCancelled());
  second->cancel();
  EXPECT_TRUE(all->isCancelled());
}

TEST_F(QVCancellationGroupTest, CancellingTheGroupCancelsChildrenPresentAndFuture) {
  auto group = QVCancellationGroup::initWithPolicy(QVCancellationGroup::kPolicyAll);
  group->addChild(first);
  first->addCancellationHandler(log.handler(1));
  group->addCancellationHandler(log.handler(2));

  group->cancel();
  EXPECT_TRUE(first->isCancelled());
  EXPECT_TRUE(log.expectCalls(2));

  group->addChild(second);
  EXPECT_TRUE(second->isCancelled());
  group->cancel();
  EXPECT_TRUE(log.expectCalls(0));
}

TEST_F(QVCancellationGroupTest, NestedGroupsReportUpwards) {
  auto third = QVCancellationToken::create();
  auto inner = QVCancellationGroup::initWithPolicy(QVCancellationGroup::kPolicyAny);
  auto outer = QVCancellationGroup::initWithPolicy(QVCancellationGroup::kPolicyAll);
  inner->addChild(first);
  inner->addChild(second);
  outer->addChild(inner);
  outer->addChild(third);
  outer->addCancellationHandler(log.handler());

  first->cancel();
  EXPECT_TRUE(inner->isCancelled());
  EXPECT_TRUE(second->isCancelled());
  EXPECT_FALSE(outer->isCancelled());

  third->cancel();
  EXPECT_TRUE(outer->isCancelled());
  EXPECT_TRUE(log.expectCalls(1));
}

TEST_F(QVCancellationGroupTest, ChildrenOutliveTheirGroup) {
  {
    auto group = QVCancellationGroup::initWithPolicy(QVCancellationGroup::kPolicyAny);
    group->addChild(first);
  }
  first->cancel();
  EXPECT_TRUE(first->isCancelled());
}

TEST_F(QVCancellationGroupTest, ConcurrentCancelsCancelTheGroupOnce) {
  auto group = QVCancellationGroup::initWithPolicy(QVCancellationGroup::kPolicyAll);
  std::vector<std::shared_ptr<QVCancellationToken>> tokens;
  for (int i = 0; i < 8; ++i) {
    tokens.push_back(QVCancellationToken::create());
    group->addChild(tokens.back());
  }
  group->addCancellationHandler(log.handler());
  std::vector<std::thread> threads;
  for (const auto& token : tokens) threads.emplace_back([token] { token->cancel(); });
  for (std::thread& thread : threads) thread.join();
  EXPECT_TRUE(group->isCancelled());
  EXPECT_TRUE(log.expectCalls(1));
}

}  // namespace
