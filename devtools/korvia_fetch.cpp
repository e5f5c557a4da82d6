// korvia-fetch: downloads one URL with a URL-session download task, resuming
// silently from resume data after interruptions as the installer's
// downloader does, and prints the byte count and SHA-256 of the result.
//
//   korvia-fetch URL [-o FILE] [--resume-attempts N]
//
// Progress goes to standard error; "<bytes> <sha256>" to standard output.
// The file is FILE, or the URL's last path component in the current folder.
// Resumptions are counted per stall: a resumption after progress starts the
// count again.

#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cinttypes>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>

#include "foundation/crypto.h"
#include "foundation/file_manager.h"
#include "foundation/url_error.h"
#include "foundation/url_session.h"

namespace {

struct Arguments {
  std::string url;
  std::string output;
  std::uint64_t resumeAttempts = 3;
};

int usage(std::string_view problem) {
  std::cerr << "korvia-fetch: " << problem << "\nusage: korvia-fetch URL [-o FILE] [--resume-attempts N]\n";
  return 64;
}

class Fetcher final : public fnd::URLSessionDownloadDelegate {
 public:
  Fetcher(std::string output, std::uint64_t resumeAttempts, fnd::Queue queue)
      : output_(std::move(output)), resumeAttempts_(resumeAttempts), queue_(std::move(queue)) {}

  void setSession(std::shared_ptr<fnd::URLSession> session) { session_ = std::move(session); }

  void start(const fnd::URLRequest& request) {
    queue_.async([this, request] { run(session_->downloadTaskWithRequest(request)); });
  }

  // The exit status once the download has ended.
  int wait() {
    std::unique_lock lock(mutex_);
    ended_.wait(lock, [&] { return status_.has_value(); });
    return *status_;
  }

  void URLSessionDownloadTaskDidWriteData(fnd::URLSession&, fnd::URLSessionDownloadTask&, std::int64_t,
                                          std::int64_t total, std::int64_t expected) override {
    FND_PARAMETER_ASSERT(queue_.isCurrent());
    attemptsSinceProgress_ = 0;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastPrinted_ < std::chrono::milliseconds(250) && total != expected) return;
    lastPrinted_ = now;
    if (expected > 0) {
      std::fprintf(stderr, "\r%" PRId64 " of %" PRId64 " bytes (%.0f%%)", total, expected, 100.0 * total / expected);
    } else {
      std::fprintf(stderr, "\r%" PRId64 " bytes", total);
    }
    printedProgress_ = true;
  }

  void URLSessionDownloadTaskDidResumeAtOffset(fnd::URLSession&, fnd::URLSessionDownloadTask&, std::int64_t offset,
                                               std::int64_t) override {
    newline();
    std::fprintf(stderr, "resumed at %" PRId64 " bytes\n", offset);
  }

  void URLSessionDownloadTaskDidFinishDownloadingToURL(fnd::URLSession&, fnd::URLSessionDownloadTask& task,
                                                       const std::shared_ptr<fnd::URL>& location) override {
    FND_PARAMETER_ASSERT(queue_.isCurrent());
    newline();
    const auto& manager = fnd::FileManager::defaultManager();
    if (const auto response = task.response(); response && response->statusCode() >= 400) {
      std::fprintf(stderr, "korvia-fetch: the server answered %" PRId64 "\n", response->statusCode());
      finish(22);
      return;
    }
    if (manager.fileExistsAtPath(output_)) {
      if (auto removed = manager.removeItemAtPath(output_); !removed) return fail(removed.error());
    }
    if (auto moved = manager.moveItemAtPath(location->path(), output_); !moved) return fail(moved.error());
    auto digest = fnd::crypto::digestOfFile(fnd::crypto::Digest::Algorithm::sha256, output_);
    if (!digest) return fail(digest.error());
    std::printf("%" PRId64 " %s\n", task.countOfBytesReceived(), fnd::crypto::hexEncode(*digest).c_str());
    std::fflush(stdout);
    finish(0);
  }

  void URLSessionTaskDidCompleteWithError(fnd::URLSession&, fnd::URLSessionTask&,
                                          const std::optional<fnd::Error>& error) override {
    FND_PARAMETER_ASSERT(queue_.isCurrent());
    if (!error) return;  // the finished file was handled
    const auto resumeData = error->userInfoValue(fnd::NSURLSessionDownloadTaskResumeData).as<fnd::Data>();
    if (resumeData && attemptsSinceProgress_ < resumeAttempts_) {
      ++attemptsSinceProgress_;
      newline();
      std::fprintf(stderr, "interrupted (%s); resuming\n", error->localizedDescription().c_str());
      run(session_->downloadTaskWithResumeData(resumeData));
      return;
    }
    newline();
    fail(*error);
  }

 private:
  void run(std::shared_ptr<fnd::URLSessionDownloadTask> task) {
    task_ = std::move(task);
    task_->resume();
  }
  void newline() {
    if (std::exchange(printedProgress_, false)) std::fputc('\n', stderr);
  }
  void fail(const fnd::Error& error) {
    std::fprintf(stderr, "korvia-fetch: %s\n", error.description().c_str());
    finish(1);
  }
  void finish(int status) {
    std::lock_guard lock(mutex_);
    if (!status_) status_ = status;
    ended_.notify_all();
  }

  const std::string output_;
  const std::uint64_t resumeAttempts_;
  const fnd::Queue queue_;
  std::shared_ptr<fnd::URLSession> session_;
  std::shared_ptr<fnd::URLSessionDownloadTask> task_;
  std::uint64_t attemptsSinceProgress_ = 0;
  std::chrono::steady_clock::time_point lastPrinted_{};
  bool printedProgress_ = false;

  std::mutex mutex_;
  std::condition_variable ended_;
  std::optional<int> status_;
};

std::optional<std::string> parse(int argc, char** argv, Arguments& arguments) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "-o" || argument == "--output" || argument == "--resume-attempts") {
      if (i + 1 >= argc) return "missing value after " + std::string(argument);
      const std::string_view value = argv[++i];
      if (argument == "--resume-attempts") {
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), arguments.resumeAttempts);
        if (error != std::errc() || end != value.data() + value.size()) return "bad --resume-attempts";
      } else {
        arguments.output = value;
      }
    } else if (argument.starts_with("-")) {
      return "unknown option " + std::string(argument);
    } else if (arguments.url.empty()) {
      arguments.url = argument;
    } else {
      return "more than one URL";
    }
  }
  if (arguments.url.empty()) return "a URL is required";
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  if (const auto problem = parse(argc, argv, arguments)) return usage(*problem);
  const auto url = fnd::URL::URLWithString(arguments.url);
  if (!url || (url->scheme() != "http" && url->scheme() != "https")) return usage("not an http or https URL");
  if (arguments.output.empty()) {
    arguments.output = url->lastPathComponent();
    if (arguments.output.empty() || arguments.output == "/") arguments.output = "index.html";
  }

  const auto queue = fnd::Queue::serial("com.korvia.korvia-fetch.delegate-queue");
  auto fetcher = std::make_shared<Fetcher>(arguments.output, arguments.resumeAttempts, queue);
  auto session = fnd::URLSession::sessionWithConfiguration(fnd::URLSessionConfiguration::defaultSessionConfiguration(),
                                                           fetcher, queue);
  fetcher->setSession(session);
  fetcher->start(fnd::URLRequest(url, fnd::URLRequestCachePolicy::reloadIgnoringLocalCacheData, 10.0));
  const int status = fetcher->wait();
  std::fflush(stderr);
  // The session's worker thread may still be winding down: leave without
  // running static destructors under it.
  std::_Exit(status);
}
