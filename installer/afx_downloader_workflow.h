#pragma once

// Fetches the desktop client's archive from the distribution server,
// resuming an interrupted transfer silently (up to three times without
// progress in between), and unpacks it straight into the applications
// folder. When the server publishes "Korvia.zip.sha256" beside the archive,
// an archive whose digest differs is refused before anything is unpacked.
//
// Session callbacks, and so every report to the delegate, come on the
// downloader's private queue; its state lives there. start, suspend, resume
// and stop may be called from any thread.

#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/data.h"
#include "foundation/error.h"
#include "foundation/queue.h"
#include "foundation/url.h"
#include "interface/interprocess/afx_desktop_client_constants.h"
#include "foundation/url_session.h"

class AFXDownloaderWorkflow;

// Every report is optional.
class AFXDownloaderDelegate {
 public:
  virtual ~AFXDownloaderDelegate() = default;
  virtual void downloaderDidStarted(AFXDownloaderWorkflow&) {}
  virtual void downloaderDidUpdateDownloadingProgress(AFXDownloaderWorkflow&, double) {}
  virtual void downloaderDidFinishDownloadingToURL(AFXDownloaderWorkflow&, const std::shared_ptr<fnd::URL>&) {}
  virtual void downloaderDidFinishUnarchivingToURL(AFXDownloaderWorkflow&, const std::shared_ptr<fnd::URL>&) {}
  virtual void downloaderWillRestartDownloading(AFXDownloaderWorkflow&, std::uint64_t) {}
  virtual void downloaderDidFailWithError(AFXDownloaderWorkflow&, const std::optional<fnd::Error>&) {}
};

// The client's archive on the distribution server.
std::shared_ptr<fnd::URL> AFXDesktopClientArchiveURL();

class AFXDownloaderWorkflow final : public std::enable_shared_from_this<AFXDownloaderWorkflow> {
  struct Token {};

 public:
  static constexpr double kRequestTimeout = 10;
  static constexpr std::uint64_t kMaximumSilentResumeAttempts = 3;

  static std::shared_ptr<AFXDownloaderWorkflow> initWithDelegate(std::weak_ptr<AFXDownloaderDelegate> delegate);
  AFXDownloaderWorkflow(Token, std::weak_ptr<AFXDownloaderDelegate> delegate);
  ~AFXDownloaderWorkflow();
  AFXDownloaderWorkflow() = delete;

  void start();
  void suspend();
  void resume();
  void stop();

  // Read on the private queue, or for tests once the delegate has heard.
  double progress() const;
  std::uint64_t silentResumeAttempt() const;
  const fnd::Queue& privateQueue() const { return privateQueue_; }

 private:
  class SessionDelegate;
  struct Checksum;

  void startOnQueue();
  void resumeOnQueue();
  void didWriteData(std::int64_t written, std::int64_t expected);
  void didFinishDownloadingToURL(const std::shared_ptr<fnd::URL>& location);
  void didCompleteWithError(const std::optional<fnd::Error>& error);
  std::optional<fnd::Error> refusalOfArchive(const fnd::URL& location);
  void fetchChecksum();

  const std::weak_ptr<AFXDownloaderDelegate> delegate_;
  const fnd::Queue privateQueue_;
  std::shared_ptr<SessionDelegate> sessionDelegate_;
  std::shared_ptr<fnd::URLSession> downloadSession_;
  std::shared_ptr<fnd::URLSession> checksumSession_;

  // Confined to the private queue.
  std::shared_ptr<fnd::URLSessionDownloadTask> task_;
  double progress_ = 0.0;
  std::uint64_t silentResumeAttempt_ = 0;
  std::shared_ptr<fnd::Data> resumeData_;
  std::shared_future<std::optional<std::vector<std::uint8_t>>> checksum_;
};
