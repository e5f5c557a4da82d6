#include "interface/analytics/afx_data_hub.h"

#include "foundation/check.h"
#include "foundation/json_serialization.h"
#include "foundation/url_request.h"
#include "interface/model/afx_library_version.h"
#include "logging/dd_log_macros.h"

namespace {

// The pairs of "&sr=1440x900&vp=0x0&ul=en": pieces without "=" are skipped.
void addSystemInfoPairs(std::string_view text, std::vector<fnd::Dictionary::Entry>& entries) {
  while (!text.empty()) {
    const auto amp = text.find('&');
    const std::string_view piece = text.substr(0, amp);
    if (const auto eq = piece.find('='); eq != std::string_view::npos) {
      const std::string_view value = piece.substr(eq + 1);
      entries.emplace_back(fnd::Value(piece.substr(0, eq)), fnd::Value(value.substr(0, value.find('='))));
    }
    if (amp == std::string_view::npos) break;
    text.remove_prefix(amp + 1);
  }
}

std::string describeOutcome(const std::shared_ptr<fnd::HTTPURLResponse>& response, const std::optional<fnd::Error>& error) {
  if (response) return std::to_string(response->statusCode()) + " " + (response->URL() ? response->URL()->absoluteString() : "");
  return error ? error->description() : "(null)";
}

}  // namespace

std::shared_ptr<AFXDataHub> AFXDataHub::initWithIdentification(std::shared_ptr<AFXAnalyticsIdentification> identification,
                                                               std::shared_ptr<AFXDataHubConfiguration> configuration,
                                                               std::shared_ptr<fnd::UserDefaults> defaults) {
  FND_PARAMETER_ASSERT(identification != nullptr);
  FND_PARAMETER_ASSERT(configuration != nullptr);
  if (!defaults) defaults = fnd::UserDefaults::standardUserDefaults();
  return std::make_shared<AFXDataHub>(Token{}, std::move(identification), std::move(configuration), std::move(defaults));
}

AFXDataHub::AFXDataHub(Token, std::shared_ptr<AFXAnalyticsIdentification> identification,
                       std::shared_ptr<AFXDataHubConfiguration> configuration, std::shared_ptr<fnd::UserDefaults> defaults)
    : identification_(std::move(identification)),
      configuration_(std::move(configuration)),
      defaults_(std::move(defaults)),
      sendingEventsQueue_(fnd::Queue::serial("com.quorvex.sending-event-queue.internal-queue", fnd::QualityOfService::utility)),
      session_(fnd::URLSession::sessionWithConfiguration(fnd::URLSessionConfiguration::defaultSessionConfiguration())) {}

AFXDataHub::~AFXDataHub() { session_->finishTasksAndInvalidate(); }

void AFXDataHub::setAppVersion(std::string version) {
  std::lock_guard lock(mutex_);
  appVersion_ = std::move(version);
}

void AFXDataHub::setAppName(std::string name) {
  std::lock_guard lock(mutex_);
  appName_ = std::move(name);
}

void AFXDataHub::trackEventWithParameters(const std::shared_ptr<fnd::Dictionary>& fields) {
  std::optional<std::string> appName;
  {
    std::lock_guard lock(mutex_);
    appName = appName_;
  }
  sendingEventsQueue_.async([self = shared_from_this(), fields, appName] { self->post(fields, appName); });
}

std::shared_ptr<fnd::Dictionary> AFXDataHub::bodyForEvent(const std::shared_ptr<fnd::Dictionary>& fields,
                                                          const std::optional<std::string>& appName) const {
  std::vector<fnd::Dictionary::Entry> entries;
  if (auto cid = defaults_->stringForKey(AFXDataHubUIDKey); cid && !cid->empty()) {
    entries.emplace_back(fnd::Value("korvia_uid"), fnd::Value(*cid));
  }
  if (auto mac = identification_->primaryMACAddress(); !mac.empty()) entries.emplace_back(fnd::Value("mac"), fnd::Value(mac));
  entries.emplace_back(fnd::Value("an"), fnd::Value(appName.value_or("Korvia")));
  entries.emplace_back(fnd::Value("av"), fnd::Value(AFXLibraryVersion));
  addSystemInfoPairs(identification_->systemInfo(), entries);
  if (fields) {
    for (const auto& entry : fields->entries()) entries.push_back(entry);
  }
  // A repeated key keeps its first place and takes the later value.
  return fnd::Dictionary::make(std::move(entries));
}

void AFXDataHub::post(const std::shared_ptr<fnd::Dictionary>& fields, const std::optional<std::string>& appName) {
  FND_PARAMETER_ASSERT(sendingEventsQueue_.isCurrent());
  auto json = fnd::JSONSerialization::dataWithJSONObject(fnd::Value(bodyForEvent(fields, appName)));
  if (!json) return;  // Fields JSON cannot carry: the event is dropped.
  fnd::URLRequest request(configuration_->baseURL());
  request.setHTTPMethod("POST");
  request.setValueForHTTPHeaderField("application/json", "Content-Type");
  request.setValueForHTTPHeaderField(identification_->userAgentString(), "User-Agent");
  request.setHTTPBody(std::vector<std::uint8_t>(json->begin(), json->end()));
  auto task = session_->dataTaskWithRequest(
      request, [fields](const std::shared_ptr<fnd::Data>&, const std::shared_ptr<fnd::HTTPURLResponse>& response,
                        const std::optional<fnd::Error>& error) {
        const auto status = response ? response->statusCode() : 0;
        if (!error && status >= 200 && status <= 299) {
          DDLogInfo("[Data Hub] Did send event with parameters %@", fields);
        } else {
          DDLogError("[Data Hub] Failed to send event with response: %@", describeOutcome(response, error));
        }
      });
  task->resume();
}
