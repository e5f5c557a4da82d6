// The families' messages as the table declares them: classes and their
// bases, coding of every field kind, defaults of absent keys, and the
// server-side execution shapes, all without a bus.

#include "interface/services/afx_service_family.h"

#include <gtest/gtest.h>

#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"
#include "foundation/number.h"
#include "foundation/property_list.h"
#include "foundation/set.h"
#include "foundation/url.h"
#include "interface/apps_management/afx_apps_management_family.h"
#include "interface/apps_management/model/afx_app_instance.h"
#include "interface/model/afx_app.h"
#include "interface/model/afx_customer_id.h"
#include "interface/model/afx_environment_id.h"
#include "interface/model/afx_localizations_container.h"
#include "interface/recommendations/afx_recommendations_family.h"
#include "interface/recommendations/afx_recommended_app.h"
#include "interface/remote_configuration/afx_remote_configuration.h"
#include "interface/remote_configuration/afx_remote_configuration_family.h"
#include "interface/system_management/afx_activity.h"
#include "interface/system_management/afx_system_management_family.h"
#include "interface/ui_management/afx_ui_management_family.h"

namespace {

template <class Message>
std::shared_ptr<Message> roundTrip(const std::shared_ptr<Message>& message) {
  auto archive = fnd::KeyedArchiver::archivedDataWithRootObject(fnd::Value(message));
  EXPECT_TRUE(archive) << archive.error().description();
  if (!archive) return nullptr;
  auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClass(message->objectClass(), *archive);
  EXPECT_TRUE(decoded) << decoded.error().description();
  return decoded ? decoded->template as<Message>() : nullptr;
}

// The archive's top object with `key` removed, decoded again.
std::shared_ptr<AFXFamilyRequest> withoutKey(const std::shared_ptr<AFXFamilyRequest>& request, const std::string& key) {
  auto archive = fnd::KeyedArchiver::archivedDataWithRootObject(fnd::Value(request));
  if (!archive) return nullptr;
  auto plist = fnd::PropertyListSerialization::propertyListWithData(*archive);
  if (!plist) return nullptr;
  auto root = plist->as<fnd::Dictionary>();
  auto objects = root->objectForKey("$objects").as<fnd::Array>();
  std::vector<fnd::Value> edited = objects->elements();
  for (auto& object : edited) {
    auto dictionary = object.as<fnd::Dictionary>();
    if (!dictionary || dictionary->objectForKey(key).isNil()) continue;
    std::vector<fnd::Dictionary::Entry> kept;
    for (const auto& entry : dictionary->entries()) {
      if (entry.first.stringValue() != key) kept.push_back(entry);
    }
    object = fnd::Value(fnd::Dictionary::make(std::move(kept)));
  }
  std::vector<fnd::Dictionary::Entry> top;
  for (const auto& entry : root->entries()) {
    top.push_back(entry.first.stringValue() == "$objects" ? fnd::Dictionary::Entry{entry.first, fnd::Value(fnd::Array::make(edited))}
                                                         : entry);
  }
  auto bytes = fnd::PropertyListSerialization::dataWithPropertyList(fnd::Value(fnd::Dictionary::make(std::move(top))),
                                                                  fnd::PropertyListFormat::binary);
  if (!bytes) return nullptr;
  auto decoded = fnd::KeyedUnarchiver::unarchivedObjectOfClass(request->objectClass(), *bytes);
  EXPECT_TRUE(decoded) << decoded.error().description();
  return decoded ? decoded->as<AFXFamilyRequest>() : nullptr;
}

TEST(ServiceFamilyTable, EachFamilyDeclaresItsRequestsOnceWithTheirBases) {
  EXPECT_EQ(AFXSystemManagementFamily().requestClasses().size(), 24u);
  EXPECT_EQ(AFXAppsManagementFamily().requestClasses().size(), 29u);
  EXPECT_EQ(AFXUIManagementFamily().requestClasses().size(), 15u);
  EXPECT_EQ(AFXRemoteConfigurationFamily().requestClasses().size(), 1u);
  EXPECT_EQ(AFXRecommendationsFamily().requestClasses().size(), 2u);

  const auto* status = fnd::Class::named("AFXChangeStatusItemVisibilityResponse");
  ASSERT_TRUE(status);
  EXPECT_EQ(status->superclass()->name(), "AFXUIManagementResponse");
  const auto* notification = AFXUIManagementFamily().operationNamed("presentUserNotificationOfKind:");
  ASSERT_TRUE(notification);
  EXPECT_EQ(notification->responseType().cls->name(), "AFXPresentUserNotificationResponse");
  const auto* save = AFXSystemManagementFamily().operationNamed("saveAPNSDeviceToken:forCustomer:environmentID:callback:");
  ASSERT_TRUE(save);
  EXPECT_EQ(save->responseType().cls->name(), "AFXSaveAPNSDeviceTokenResponse");
  EXPECT_TRUE(AFXUIManagementFamily().operationForRequestClassNamed("AFXPresentTerminationWindowRequest"));
  EXPECT_TRUE(AFXAppsManagementFamily().operationForRequestClassNamed("AFXNoteTeaserDidLaunchRequest"));

  // A derived response codes its parent's field too.
  const auto* teaser = AFXAppsManagementFamily().operationNamed("installTeaserAppWithID:reportHandler:options:callback:");
  ASSERT_TRUE(teaser);
  EXPECT_EQ(teaser->responseType().cls->superclass()->name(), "AFXFetchAppsResponse");
  EXPECT_TRUE(teaser->responseType().indexOfKey("apps"));
  EXPECT_EQ(teaser->reportType()->cls->name(), "AFXInstallTeaserAppWithIDReport");
}

TEST(ServiceFamilyCoding, FieldsOfEveryKindSurviveTheArchive) {
  auto request = AFXSystemManagementFamily().makeRequest("fetchCustomerWithID:isUpdated:callback:");
  const auto environmentID =
      AFXManifestURLBasedEnvironmentID::initWithManifestURL(fnd::URL::URLWithString("https://store.test/manifest"));
  request->setValue("customerID", fnd::Value(AFXCustomerID::initWithAccountName("ada@example.test", environmentID)));
  request->setValue("isUpdated", true);
  request->setServiceID(AFXGlobalServiceID::initWithServiceName("com.korvia.SystemManagementService"));
  auto decoded = roundTrip(request);
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->value("customerID").isEqual(request->value("customerID")));
  EXPECT_EQ(decoded->value("isUpdated").boolValue(), true);
  EXPECT_TRUE(decoded->serviceID() && decoded->serviceID()->isEqual(*request->serviceID()));

  auto response = AFXFamilyResponse::make(
      AFXAppsManagementFamily().operationNamed("installVendorApp:shouldLaunch:callback:")->responseType());
  response->fields().setValue(
      "instance", fnd::Value(AFXVendorAppInstance::initWithAppID(246, *fnd::URL::fileURLWithPath(::testing::TempDir(), true))));
  auto decodedResponse = roundTrip(response);
  ASSERT_TRUE(decodedResponse);
  EXPECT_TRUE(decodedResponse->value("instance").as<AFXVendorAppInstance>()) << "a subclass of the allowed class";

  auto teaser = AFXFamilyResponse::make(
      AFXAppsManagementFamily().operationNamed("installTeaserAppWithID:reportHandler:options:callback:")->responseType());
  teaser->fields().setValue(
      "installedAppInstance",
      fnd::Value(AFXTeaserAppInstance::initWithAppID(246, *fnd::URL::fileURLWithPath(::testing::TempDir(), true), "1.0")));
  auto decodedTeaser = roundTrip(teaser);
  ASSERT_TRUE(decodedTeaser);
  EXPECT_TRUE(decodedTeaser->value("installedAppInstance").as<AFXTeaserAppInstance>());
  EXPECT_TRUE(decodedTeaser->value("apps").isNil());
}

TEST(ServiceFamilyCoding, AbsentKeysDecodeToTheTablesDefaults) {
  auto install = AFXAppsManagementFamily().makeRequest("installVendorApp:shouldLaunch:callback:");
  install->setValue("shouldLaunch", false);
  auto absent = withoutKey(install, "shouldLaunch");
  ASSERT_TRUE(absent);
  EXPECT_EQ(absent->value("shouldLaunch").boolValue(), true);

  auto teaser = AFXAppsManagementFamily().makeRequest("installTeaserAppWithID:reportHandler:options:callback:");
  teaser->setValue("options", std::uint64_t{9});
  auto noOptions = withoutKey(teaser, "options");
  ASSERT_TRUE(noOptions);
  EXPECT_EQ(noOptions->value("options").integerValue(), 0);

  // The kind travels as its name; a name the receiver does not know is 0.
  auto kind = AFXUIManagementFamily().makeRequest("presentUserNotificationOfKind:");
  kind->setValue("kind", std::uint64_t{AFXUserNotificationKindTrialNeedPaymentInfo});
  auto decodedKind = roundTrip(kind);
  ASSERT_TRUE(decodedKind);
  EXPECT_EQ(decodedKind->value("kind").integerValue(), AFXUserNotificationKindTrialNeedPaymentInfo);
  kind->setValue("kind", std::uint64_t{77});
  auto unknown = roundTrip(kind);
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->value("kind").integerValue(), AFXUserNotificationKindUnknown);

  // A scalar without a default cannot be absent.
  auto search = AFXAppsManagementFamily().makeRequest("searchAppsWithString:ignoreAppsWithoutInstance:limitCount:callback:");
  auto archive = fnd::KeyedArchiver::archivedDataWithRootObject(fnd::Value(search));
  ASSERT_TRUE(archive);
  EXPECT_TRUE(fnd::KeyedUnarchiver::unarchivedObjectOfClass(search->objectClass(), *archive));
}

class RecordingService final : public AFXFamilyService {
 public:
  std::vector<AFXFamilyCall> calls;
  void performFamilyOperation(AFXFamilyCall call) override { calls.push_back(std::move(call)); }
};

TEST(ServiceFamilyExecution, TheServicesOutcomeBecomesTheResponseByShape) {
  auto service = std::make_shared<RecordingService>();
  std::vector<std::shared_ptr<QVValueOrError>> answers;
  std::vector<std::shared_ptr<AFXInterprocessReport>> reports;
  const auto collect = [&](const std::shared_ptr<QVValueOrError>& answer) { answers.push_back(answer); };

  // A value fills the response; an error passes unchanged.
  auto prepare = AFXAppsManagementFamily().makeRequest("prepareResourcesForApp:priority:reportHandler:callback:");
  prepare->setValue("priority", std::uint64_t{2});
  prepare->performOnService(service, [&](const auto& report) { reports.push_back(report); }, collect);
  ASSERT_EQ(service->calls.size(), 1u);
  EXPECT_EQ(service->calls[0].argument("priority").integerValue(), 2);
  service->calls[0].report({fnd::Value(0.5)});
  service->calls[0].finish(std::vector<fnd::Value>{fnd::Value(fnd::Set::make())});
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(std::dynamic_pointer_cast<AFXFamilyReport>(reports[0])->value("fractionCompleted").doubleValue(), 0.5);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_TRUE(answers[0]->value().as<AFXFamilyResponse>()->value("resources").as<fnd::Set>());

  auto fetch = AFXAppsManagementFamily().makeRequest("fetchAppWithID:callback:");
  fetch->performOnService(service, nullptr, collect);
  service->calls[1].finish(fnd::Error("com.korvia.AppsManagementErrorDomain", 3));
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[1]->error()->code(), 3);

  // Without a callback the empty response goes back at once.
  auto note = AFXAppsManagementFamily().makeRequest("noteTeaserDidLaunchWithID:");
  note->performOnService(service, nullptr, collect);
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_TRUE(answers[2]->value().as<AFXFamilyResponse>());

  // A request without reports refuses a report handler.
  EXPECT_DEATH(fetch->performOnService(service, [](const auto&) {}, collect), "nil == reportHandler");
}

TEST(ServiceFamilyModels, ActivitiesConfigurationsAndRecommendations) {
  const auto activity = AFXActivity::initWithTierName("KorviaInstaller", "installing");
  auto copy = roundTrip(activity);
  ASSERT_TRUE(copy);
  EXPECT_TRUE(copy->isEqual(*activity));
  EXPECT_EQ(copy->hash(), activity->hash());
  EXPECT_FALSE(AFXActivity::initWithTierName("KorviaInstaller", "installing")->isEqual(*activity));

  const auto plain = AFXRemoteConfiguration::initWithVersion("1", nullptr);
  EXPECT_FALSE(plain->shouldShowReferal2Button());
  EXPECT_EQ(plain->localizationContainers()->count(), 0u);
  EXPECT_EQ(plain->localizedStringForKey("title", "en"), std::nullopt);
  const auto localized = AFXRemoteConfiguration::initWithVersion(
      "2", fnd::Dictionary::make({{fnd::Value("should_show_referal_2.0_button"), fnd::Value("yes")},
                                  {fnd::Value("localization_containers"),
                                   fnd::Value(fnd::Array::make({fnd::Value(AFXLocalizationsContainer::initWithKey(
                                       "title", fnd::Dictionary::make({{fnd::Value("en"), fnd::Value("Welcome")}})))}))}}));
  EXPECT_FALSE(localized->shouldShowReferal2Button()) << "a text is no number";
  EXPECT_EQ(localized->localizedStringForKey("title", "en"), "Welcome");
  auto decodedConfiguration = roundTrip(localized);
  ASSERT_TRUE(decodedConfiguration);
  EXPECT_TRUE(decodedConfiguration->isEqual(*localized));

  const auto recommended = AFXRecommendedApp::initWithAppID(
      fnd::Number::numberWithInteger(246),
      fnd::Array::make({fnd::Value(std::int64_t{1}), fnd::Value(std::int64_t{2}), fnd::Value(std::int64_t{3})}), std::nullopt);
  EXPECT_EQ(recommended->recommendationsAlgorithm(), "default");
  const auto kept = recommended->recommendedListExcludingIDs({fnd::Value(std::int64_t{2})});
  ASSERT_EQ(kept->count(), 2u);
  EXPECT_EQ(kept->elements()[0].integerValue(), 1);
  EXPECT_EQ(kept->elements()[1].integerValue(), 3);
  auto decodedRecommendation = roundTrip(recommended);
  ASSERT_TRUE(decodedRecommendation);
  EXPECT_TRUE(decodedRecommendation->isEqual(*recommended));
}

}  // namespace
