#include "desktop_client/afx_reference_apps_refresh.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "desktop_client/afx_reference_catalogue.h"
#include "foundation/date.h"
#include "foundation/file_manager.h"
#include "foundation/process.h"
#include "foundation/user_defaults.h"
#include "foundation/uuid.h"
#include "interface/errors/afx_errors.h"
#include "interface/errors/afx_network_response.h"
#include "interface/interprocess/afx_desktop_client_constants.h"
#include "logging/dd_log_macros.h"

namespace {

constexpr std::string_view kOperation = "refresh the catalogue";
constexpr auto kRecheckInterval = std::chrono::seconds(1);

// Held while the sessions of the environment are looked at and changed.
// Without a lock file (no state folder) the refresh goes on unguarded.
class TransitionLock {
 public:
  explicit TransitionLock(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (fd_ < 0) {
      DDLogError("Cannot open the refresh lock %@", path);
      return;
    }
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~TransitionLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  TransitionLock(const TransitionLock&) = delete;
  TransitionLock& operator=(const TransitionLock&) = delete;

 private:
  int fd_;
};

void waitAtTheGate() {
  const auto gate = fnd::environmentValue(AFXReferenceClientRefreshGateVariable);
  if (!gate) return;
  while (fnd::FileManager::defaultManager().fileExistsAtPath(*gate)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace

std::shared_ptr<AFXEnvironmentID> AFXReferenceClientCurrentEnvironmentID() {
  // Made afresh each time: another process may have changed the environment.
  auto defaults = fnd::UserDefaults::create(AFXDesktopClientSharedPreferencesSuiteName);
  if (defaults) (void)defaults->synchronize();
  return AFXEnvironmentID::environmentWithURLString(defaults ? defaults->stringForKey(AFXReferenceClientEnvironmentKey)
                                                             : std::nullopt);
}

std::shared_ptr<fnd::URL> AFXReferenceClientCatalogueSourceURL() {
  auto url = fnd::URL::URLWithString(AFXDistributionBaseURLString() + "/catalogue.json");
  return url && !url->scheme().empty() ? url : nullptr;
}

std::shared_ptr<AFXReferenceAppsRefresher> AFXReferenceAppsRefresher::make(std::shared_ptr<AFXEnvironmentID> environmentID,
                                                                           std::string stateFolder,
                                                                           std::shared_ptr<fnd::URLSession> session) {
  auto refresher = std::make_shared<AFXReferenceAppsRefresher>(Token{}, std::move(environmentID), std::move(stateFolder),
                                                               std::move(session));
  std::weak_ptr<AFXReferenceAppsRefresher> weak = refresher;
  // Any change of the sessions or the date may release a waiting request.
  refresher->synchronizer_->addObserver([weak, queue = refresher->queue_](std::string_view) {
    queue.async([weak] {
      if (auto self = weak.lock()) self->checkWaiting();
    });
  });
  return refresher;
}

AFXReferenceAppsRefresher::AFXReferenceAppsRefresher(Token, std::shared_ptr<AFXEnvironmentID> environmentID,
                                                     std::string stateFolder, std::shared_ptr<fnd::URLSession> session)
    : environmentID_(std::move(environmentID)),
      stateFolder_(std::move(stateFolder)),
      session_(std::move(session)),
      queue_(fnd::Queue::serial("reference-client.apps-refresh", fnd::QualityOfService::utility)),
      synchronizer_(AFXAppsRefreshSynchronizer::initWithEnvironmentID(environmentID_)) {}

AFXReferenceAppsRefresher::~AFXReferenceAppsRefresher() {
  // Nobody else holds the requests now.
  for (const auto& request : waiting_) request->completion(afx_cancel());
}

void AFXReferenceAppsRefresher::setFollowObserver(FollowObserver observer) {
  queue_.async([self = shared_from_this(), observer = std::move(observer)]() mutable {
    self->followObserver_ = std::move(observer);
  });
}

std::string AFXReferenceAppsRefresher::lockFile() const {
  return stateFolder_ + "/apps-refresh-" + std::to_string(environmentID_->hash()) + ".lock";
}

double AFXReferenceAppsRefresher::storedLastRefreshDate() const {
  const auto date = synchronizer_->storedLastRefreshDate();
  return date ? date->timeIntervalSinceReferenceDate() : -1e300;
}

void AFXReferenceAppsRefresher::refresh(AFXAppsRefreshReason reason, Completion completion) {
  auto request = std::make_shared<Request>();
  request->reason = reason;
  request->requestedAt = fnd::Date::now()->timeIntervalSinceReferenceDate();
  request->completion = std::move(completion);
  (void)fnd::FileManager::defaultManager().createDirectoryAtPath(stateFolder_, true);
  queue_.async([self = shared_from_this(), request] { self->attempt(request); });
}

void AFXReferenceAppsRefresher::attempt(const std::shared_ptr<Request>& request) {
  const std::string sessionID = fnd::UUID::make()->UUIDString();
  {
    TransitionLock lock(lockFile());
    // A refresh that ended after the request was made answers it.
    if (!request->awaited.empty() && storedLastRefreshDate() >= request->requestedAt) {
      request->completion(AFXReferenceAppsRefreshOutcome::followed);
      return;
    }
    const auto live = synchronizer_->activeRefreshSessionsWithReason(AFXAppsRefreshReasonAny);
    if (!live.empty()) {
      request->awaited.clear();
      for (const auto& [key, started] : live) request->awaited.push_back(key);
      waiting_.push_back(request);
      DDLogInfo("Waiting for the apps refresh of another process (%@ sessions)", static_cast<std::int64_t>(live.size()));
      if (followObserver_) followObserver_(request->awaited);
      scheduleCheck();
      return;
    }
    synchronizer_->willStartAppsRefreshWithID(sessionID, request->reason);
  }
  lead(request, sessionID);
}

void AFXReferenceAppsRefresher::checkWaiting() {
  if (waiting_.empty()) return;
  const auto live = synchronizer_->activeRefreshSessionsWithReason(AFXAppsRefreshReasonAny);
  const double lastRefresh = storedLastRefreshDate();
  std::vector<std::shared_ptr<Request>> released;
  std::erase_if(waiting_, [&](const std::shared_ptr<Request>& request) {
    bool stillLive = false;
    for (const auto& key : request->awaited) stillLive = stillLive || live.contains(key);
    if (stillLive && lastRefresh < request->requestedAt) return false;
    released.push_back(request);
    return true;
  });
  for (const auto& request : released) attempt(request);
  if (!waiting_.empty()) scheduleCheck();
}

void AFXReferenceAppsRefresher::scheduleCheck() {
  if (checkScheduled_) return;
  checkScheduled_ = true;
  std::weak_ptr<AFXReferenceAppsRefresher> weak = weak_from_this();
  queue_.after(kRecheckInterval, [weak] {
    if (auto self = weak.lock()) {
      self->checkScheduled_ = false;
      self->checkWaiting();
    }
  });
}

void AFXReferenceAppsRefresher::lead(const std::shared_ptr<Request>& request, const std::string& sessionID) {
  auto self = shared_from_this();
  auto source = AFXReferenceClientCatalogueSourceURL();
  if (!source) {
    end(request, sessionID, afx_makeErrorOfMissingObjectOfKind("catalogue source"));
    return;
  }
  // The gate may hold this thread; the queue stays free for other requests.
  fnd::Queue::global(fnd::QualityOfService::utility).async([self, request, sessionID, source] {
    waitAtTheGate();
    auto task = self->session_->dataTaskWithURL(
        source, [self, request, sessionID](const std::shared_ptr<fnd::Data>& data,
                                           const std::shared_ptr<fnd::HTTPURLResponse>& response,
                                           const std::optional<fnd::Error>& error) {
          auto stored = self->store(data, response, error);
          self->queue_.async([self, request, sessionID, stored] { self->end(request, sessionID, stored); });
        });
    task->resume();
  });
}

fnd::Expected<void> AFXReferenceAppsRefresher::store(const std::shared_ptr<fnd::Data>& data,
                                                     const std::shared_ptr<fnd::HTTPURLResponse>& response,
                                                     const std::optional<fnd::Error>& error) const {
  if (error) return afx_makeNetworkErrorWithUnderlyingError(error);
  if (!response || response->statusCode() < 200 || response->statusCode() > 299 || !data) {
    return afx_makeServerErrorOnOperation(kOperation, std::nullopt);
  }
  const std::string text(data->bytes().begin(), data->bytes().end());
  if (auto parsed = AFXReferenceCatalogue::readFromJSON(text); !parsed) {
    return afx_makeServerResponseParsingErrorOnOperation(kOperation, parsed.error());
  }
  // Readers see the old catalogue or the new one, never a part.
  const std::string temporary = catalogueFile() + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) return afx_makeFailedDiskOperation(kOperation, std::nullopt);
  }
  if (::rename(temporary.c_str(), catalogueFile().c_str()) != 0) {
    (void)::unlink(temporary.c_str());
    return afx_makeFailedDiskOperation(kOperation, fnd::fileErrorWithPOSIXError(errno, fnd::FileOperation::write,
                                                                                catalogueFile()));
  }
  return fnd::success();
}

void AFXReferenceAppsRefresher::end(const std::shared_ptr<Request>& request, const std::string& sessionID,
                                    const fnd::Expected<void>& fetched) {
  {
    // Whoever finds the session gone finds the new date too.
    TransitionLock lock(lockFile());
    synchronizer_->didEndAppsRefreshWithID(sessionID, request->reason, fetched.hasValue());
  }
  if (fetched) {
    request->completion(AFXReferenceAppsRefreshOutcome::refreshed);
  } else {
    DDLogError("Cannot refresh the catalogue: %@", fetched.error());
    request->completion(fetched.error());
  }
  checkWaiting();
}
