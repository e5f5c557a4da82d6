#include <gtest/gtest.h>

#include <algorithm>

#include "foundation/array.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"
#include "foundation/string.h"
#include "interface/interprocess/afx_interprocess_model.h"
#include "interface/interprocess/tests/interprocess_test_messages.h"
#include "interface/model/afx_environment_id.h"

namespace {

bool contains(const fnd::ipc::Interface::ClassList& classes, const fnd::Class& cls) {
  return std::find(classes.begin(), classes.end(), &cls) != classes.end();
}

template <class T>
std::shared_ptr<T> roundTrip(const std::shared_ptr<T>& object) {
  auto bytes = fnd::KeyedArchiver::archivedDataWithRootObject(fnd::Value(object));
  EXPECT_TRUE(bytes);
  auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClass(T::staticClass(), *bytes);
  EXPECT_TRUE(decoded) << decoded.error().description();
  return decoded ? decoded->template as<T>() : nullptr;
}

class CountingService : public TestCountingService {
 public:
  std::optional<fnd::Error> failure;
  void countTo(std::uint64_t count, std::function<void(double)> progress,
               std::function<void(std::shared_ptr<QVValueOrError>)> callback) override {
    for (std::uint64_t i = 1; i <= count; ++i) progress(static_cast<double>(i) / static_cast<double>(count));
    callback(failure ? QVValueOrError::initWithError(*failure) : QVValueOrError::initWithValue(fnd::Value(count)));
  }
  void isReady(bool updated, std::function<void(bool)> callback) override { callback(updated); }
};

TEST(InterprocessMessages, CodedFormCarriesAllButTheTierName) {
  auto request = TestCountRequest::make(12);
  request->setRequestingTierName(std::string("KorviaInstaller"));
  request->setServiceID(AFXEnvironmentServiceID::initWithServiceName(
      std::string("com.korvia.AppsManagementService"), AFXEnvironmentID::defaultEnvironmentID()));
  request->setReportStreamID(fnd::UUID::make());
  request->setReportSessionID(fnd::UUID::make());
  auto decoded = roundTrip(request);
  ASSERT_TRUE(decoded);
  EXPECT_FALSE(decoded->requestingTierName().has_value());
  ASSERT_TRUE(decoded->serviceID());
  EXPECT_TRUE(decoded->serviceID()->isEqual(*request->serviceID()));
  EXPECT_TRUE(decoded->serviceID()->isKindOfClass(AFXEnvironmentServiceID::staticClass()));
  EXPECT_TRUE(decoded->reportStreamID()->isEqual(*request->reportStreamID()));
  EXPECT_TRUE(decoded->reportSessionID()->isEqual(*request->reportSessionID()));
  EXPECT_EQ(decoded->count, 12u);

  auto ready = TestReadyRequest::make();
  ready->setServiceID(AFXGlobalServiceID::initWithServiceName(std::string("com.korvia.SystemManagementService")));
  auto decodedReady = roundTrip(ready);
  ASSERT_TRUE(decodedReady);
  // Written as NO, read as NO: the default only fills an absent key.
  EXPECT_FALSE(decodedReady->isUpdated);
  EXPECT_FALSE(decodedReady->isForced);
  EXPECT_FALSE(decodedReady->reportSessionID());
}

TEST(InterprocessMessages, ServiceIdentitiesCompareByKind) {
  auto global = AFXGlobalServiceID::initWithServiceName(std::string("s"));
  auto plain = AFXServiceID::initWithServiceName(std::string("s"));
  auto environment = AFXEnvironmentServiceID::initWithServiceName(std::string("s"), AFXEnvironmentID::defaultEnvironmentID());
  EXPECT_TRUE(plain->isEqual(*global));
  EXPECT_FALSE(global->isEqual(*plain));
  EXPECT_FALSE(environment->isEqual(*global));
  EXPECT_TRUE(environment->isEqual(*AFXEnvironmentServiceID::initWithServiceName(
      std::string("s"), AFXEnvironmentID::defaultEnvironmentID())));
  EXPECT_EQ(global->description(), "Global Service ID");
  EXPECT_TRUE(AFXGlobalServiceID::initWithServiceName(std::nullopt)->isEqual(*AFXGlobalServiceID::initWithServiceName(std::nullopt)));
}

TEST(InterprocessInterfaces, WhitelistTheServicesMessages) {
  const AFXInterprocessModel::ClassSet classes = {&TestCountRequest::staticClass(), &TestReadyRequest::staticClass()};
  auto regular = AFXInterprocessModel::interprocessInterfaceWithRequestClasses(classes);
  const auto& requests = regular->classes("performInterprocessRequest", 0, false);
  EXPECT_EQ(requests.size(), 2u);
  EXPECT_TRUE(contains(requests, TestCountRequest::staticClass()));
  const auto& replies = regular->classes("performInterprocessRequest", 0, true);
  EXPECT_TRUE(contains(replies, TestCountResponse::staticClass()));
  EXPECT_TRUE(contains(replies, TestReadyResponse::staticClass()));
  EXPECT_TRUE(contains(replies, QVValueOrError::staticClass()));
  const auto& stream = regular->classes("establishReportingStreamWithTierNamed", 0, true);
  EXPECT_EQ(stream.size(), 2u);
  EXPECT_TRUE(contains(stream, fnd::UUID::staticClass()));

  auto reports = AFXInterprocessModel::reportsStreamInterfaceWithRequestClasses(classes);
  EXPECT_EQ(reports->classes("deliverReport", 0, false), fnd::ipc::Interface::ClassList{&TestCountReport::staticClass()});
  EXPECT_TRUE(contains(reports->classes("deliverReport", 1, false), fnd::Array::staticClass()));
  EXPECT_TRUE(contains(reports->classes("deliverReport", 1, false), fnd::UUID::staticClass()));
  EXPECT_TRUE(reports->methodNamed("deliverReport")->isOneWay());

  auto none = AFXInterprocessModel::reportsStreamInterfaceWithRequestClasses({&TestReadyRequest::staticClass()});
  EXPECT_TRUE(none->classes("deliverReport", 0, false).empty());
}

TEST(InterprocessExecution, MapsProgressValuesAndErrors) {
  auto service = std::make_shared<CountingService>();
  std::vector<double> fractions;
  std::shared_ptr<QVValueOrError> answer;
  TestCountRequest::make(4)->performOnService(
      service,
      [&fractions](const std::shared_ptr<AFXInterprocessReport>& report) {
        fractions.push_back(std::dynamic_pointer_cast<TestCountReport>(report)->fractionCompleted);
      },
      [&answer](const std::shared_ptr<QVValueOrError>& result) { answer = result; });
  EXPECT_EQ(fractions, (std::vector<double>{0.25, 0.5, 0.75, 1.0}));
  ASSERT_TRUE(answer && answer->value().as<TestCountResponse>());
  EXPECT_EQ(answer->value().as<TestCountResponse>()->total, 4u);

  service->failure = fnd::Error("com.korvia.test", -7, {{fnd::Value("why"), fnd::Value("because")}});
  TestCountRequest::make(1)->performOnService(service, nullptr,
                                              [&answer](const std::shared_ptr<QVValueOrError>& result) { answer = result; });
  ASSERT_TRUE(answer->error());
  EXPECT_EQ(*answer->error(), *service->failure);
}

TEST(InterprocessExecutionDeathTest, AReportlessRequestRefusesAReportHandler) {
  auto service = std::make_shared<CountingService>();
  EXPECT_DEATH(TestReadyRequest::make()->performOnService(
                   service, [](const std::shared_ptr<AFXInterprocessReport>&) {}, [](const auto&) {}),
               "Invalid parameter not satisfying: nil == reportHandler");
  EXPECT_DEATH((void)AFXInterprocessRequest::responseClassOf(AFXInterprocessRequest::staticClass()),
               "Invalid parameter not satisfying");
}

}  // namespace
