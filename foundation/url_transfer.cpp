#include "foundation/url_transfer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "foundation/format.h"
#include "foundation/url_error.h"
#include "foundation/url_session.h"
#include "foundation/url_session_errors.h"

namespace fnd::detail {
namespace {

// Large enough that writes to the file are few, small enough for the memory
// goal of one transfer.
constexpr std::size_t kFileBufferSize = 512 * 1024;
constexpr long kReceiveBufferSize = 256 * 1024;
constexpr long kMaximumRedirections = 16;
// Reports wake the delegate queue; more often than this costs throughput
// and tells a user nothing.
constexpr auto kReportInterval = std::chrono::milliseconds(10);
constexpr std::int64_t kReportBytes = 1024 * 1024;

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::chrono::nanoseconds seconds(double value) {
  // Past a century a time-out means "never"; keeps the arithmetic in range.
  const double bounded = std::clamp(value, 0.0, 100.0 * 365 * 24 * 3600);
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(bounded));
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

// "bytes first-last/complete" ("*" for an unknown complete length).
struct ContentRange {
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::optional<std::int64_t> complete;
};

std::optional<ContentRange> parseContentRange(std::string_view value) {
  value = trimmed(value);
  if (!value.starts_with("bytes ")) return std::nullopt;
  value.remove_prefix(6);
  const auto dash = value.find('-');
  const auto slash = value.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || dash > slash) return std::nullopt;
  ContentRange range;
  const auto first = parseInteger(trimmed(value.substr(0, dash)));
  const auto last = parseInteger(trimmed(value.substr(dash + 1, slash - dash - 1)));
  if (!first || !last || *last < *first) return std::nullopt;
  range.first = *first;
  range.last = *last;
  const std::string_view complete = trimmed(value.substr(slash + 1));
  if (complete != "*") {
    range.complete = parseInteger(complete);
    if (!range.complete || *range.complete <= range.last) return std::nullopt;
  }
  return range;
}

std::string headerLine(std::string_view name, std::string_view value) {
  return std::string(name) + ": " + std::string(value);
}

}  // namespace

URLTransfer::URLTransfer(URLSessionCore& core, std::shared_ptr<URLSessionTask> task)
    : core_(core),
      task_(std::move(task)),
      request_(task_->originalRequest() ? *task_->originalRequest() : URLRequest(nullptr)) {}

Expected<std::unique_ptr<URLTransfer>> URLTransfer::make(URLSessionCore& core, std::shared_ptr<URLSessionTask> task) {
  std::unique_ptr<URLTransfer> transfer(new URLTransfer(core, std::move(task)));
  if (transfer->isDownload()) {
    const auto& download = static_cast<const URLSessionDownloadTask&>(*transfer->task_);
    if (download.initialResumeData()) {
      auto state = decodeDownloadResumeData(*download.initialResumeData());
      if (!state) return state.error();
      transfer->resumeFrom_ = std::move(state).value();
    }
  }
  if (auto configured = transfer->configure(transfer->request_); !configured) return configured.error();
  if (auto opened = transfer->openFile(); !opened) return opened.error();
  transfer->started_ = transfer->lastActivity_ = std::chrono::steady_clock::now();
  return transfer;
}

URLTransfer::~URLTransfer() {
  if (handle_) curl_easy_cleanup(handle_);
  if (headerList_) curl_slist_free_all(headerList_);
  discardFile();
}

bool URLTransfer::isDownload() const { return dynamic_cast<const URLSessionDownloadTask*>(task_.get()) != nullptr; }

std::shared_ptr<URL> URLTransfer::requestURL() const { return request_.URL(); }

Expected<void> URLTransfer::configure(const URLRequest& request) {
  const auto& url = request.URL();
  if (!url) return makeURLError(NSURLErrorBadURL, nullptr);
  if (url->scheme() != "http" && url->scheme() != "https") return makeURLError(NSURLErrorUnsupportedURL, url);
  if (url->host().empty()) return makeURLError(NSURLErrorBadURL, url);
  if (url->scheme() == "https" && core_.extraCertificatesProblem()) {
    return makeURLError(NSURLErrorSecureConnectionFailed, url, *core_.extraCertificatesProblem());
  }

  const auto& configuration = core_.configuration();
  double idle = request.timeoutInterval().value_or(configuration.timeoutIntervalForRequest());
  if (!(idle > 0)) idle = configuration.timeoutIntervalForRequest();
  idleTimeout_ = seconds(idle);
  resourceTimeout_ = seconds(configuration.timeoutIntervalForResource());

  handle_ = curl_easy_init();
  if (!handle_) return makeURLError(NSURLErrorUnknown, url, "no transfer handle");
  CURL* h = handle_;
  curl_easy_setopt(h, CURLOPT_PRIVATE, this);
  curl_easy_setopt(h, CURLOPT_URL, url->absoluteString().c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaximumRedirections);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText_);
  curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
  curl_easy_setopt(h, CURLOPT_TCP_KEEPALIVE, 1L);
  curl_easy_setopt(h, CURLOPT_USERAGENT, "Korvia/1.0 URLSession");
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(std::min<std::int64_t>(
                       std::chrono::duration_cast<std::chrono::milliseconds>(idleTimeout_).count(), 1L << 30)));
  // Verification is never switched off; extra anchors add to the system's.
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  if (const auto& pem = core_.extraCertificates()) {
    curl_blob blob{const_cast<char*>(pem->data()), pem->size(), CURL_BLOB_NOCOPY};
    curl_easy_setopt(h, CURLOPT_CAINFO_BLOB, &blob);
  }
  if (core_.share()) curl_easy_setopt(h, CURLOPT_SHARE, core_.share());
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &URLTransfer::onHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &URLTransfer::onWrite);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, this);

  const std::string& method = request.HTTPMethod();
  const auto& body = request.HTTPBody();
  if (method == "HEAD") {
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
  } else if (method != "GET" || !body.empty()) {
    if (method != "POST") curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, method.c_str());
    if (!body.empty() || method == "POST") {
      curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.data());
      curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }
  }

  std::vector<std::string> lines;
  for (const auto& [name, value] : configuration.HTTPAdditionalHeaders()) {
    if (!request.valueForHTTPHeaderField(name)) lines.push_back(headerLine(name, value));
  }
  for (const auto& [name, value] : request.allHTTPHeaderFields()) {
    if (resumeFrom_ && (equalsIgnoringCase(name, "Range") || equalsIgnoringCase(name, "If-Range"))) continue;
    lines.push_back(headerLine(name, value));
  }
  // libcurl's own additions the platform does not make.
  lines.emplace_back("Expect:");
  if (!request.valueForHTTPHeaderField("Content-Type")) lines.emplace_back("Content-Type:");
  if (resumeFrom_) {
    lines.push_back(StringWithFormat("Range: bytes=%lld-", static_cast<long long>(resumeFrom_->bytesReceived)));
    lines.push_back(headerLine("If-Range", *resumeFrom_->rangeValidator()));
  }
  for (const auto& line : lines) {
    curl_slist* extended = curl_slist_append(headerList_, line.c_str());
    if (!extended) return makeURLError(NSURLErrorUnknown, url, "out of memory");
    headerList_ = extended;
  }
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headerList_);
  return success();
}

Expected<void> URLTransfer::openFile() {
  if (!isDownload()) return success();
  auto file = resumeFrom_ ? reopenPartialDownloadFile(*resumeFrom_) : createDownloadFile();
  if (!file) return file.error();
  descriptor_ = file->descriptor;
  filePath_ = file->path;
  if (resumeFrom_) {
    fileLength_ = resumeFrom_->bytesReceived;
    received_ = fileLength_;
    entityTag_ = resumeFrom_->entityTag;
    lastModified_ = resumeFrom_->lastModified;
  }
  buffer_.reserve(kFileBufferSize);
  return success();
}

void URLTransfer::pause() {
  paused_ = true;
  curl_easy_pause(handle_, CURLPAUSE_ALL);
}

void URLTransfer::unpause() {
  paused_ = false;
  lastActivity_ = std::chrono::steady_clock::now();
  curl_easy_pause(handle_, CURLPAUSE_CONT);
}

std::optional<URLTransfer::TimePoint> URLTransfer::deadline() const {
  if (paused_) return std::nullopt;
  return std::min(lastActivity_ + idleTimeout_, started_ + resourceTimeout_);
}

bool URLTransfer::hasTimedOut(TimePoint now) const {
  const auto at = deadline();
  return at && now >= *at;
}

std::size_t URLTransfer::onHeader(char* bytes, std::size_t size, std::size_t count, void* context) {
  auto* transfer = static_cast<URLTransfer*>(context);
  transfer->header(std::string_view(bytes, size * count));
  return size * count;
}

std::size_t URLTransfer::onWrite(char* bytes, std::size_t size, std::size_t count, void* context) {
  return static_cast<URLTransfer*>(context)->write(bytes, size * count);
}

void URLTransfer::header(std::string_view line) {
  lastActivity_ = std::chrono::steady_clock::now();
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.starts_with("HTTP/")) {
    headers_.clear();
    return;
  }
  if (line.empty()) return;
  if ((line.front() == ' ' || line.front() == '\t') && !headers_.empty()) {
    headers_.back().second.append(" ").append(trimmed(line));
    return;
  }
  const auto colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) return;
  headers_.emplace_back(std::string(trimmed(line.substr(0, colon))), std::string(trimmed(line.substr(colon + 1))));
}

bool URLTransfer::ensureResponse() {
  if (response_) return true;
  if (abortError_) return false;
  long status = 0;
  curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &status);
  if (status == 0) return false;
  curl_off_t length = -1;
  curl_easy_getinfo(handle_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  char* effective = nullptr;
  curl_easy_getinfo(handle_, CURLINFO_EFFECTIVE_URL, &effective);
  auto url = effective ? URL::URLWithString(effective) : nullptr;
  response_ = std::make_shared<HTTPURLResponse>(url ? url : requestURL(), status, headers_, length);
  if (isDownload()) {
    if (!acceptDownloadResponse(status, length)) return false;
  } else {
    expected_ = length;
  }
  task_->setResponse(response_);
  task_->setCounts(received_, expected_);
  if (!isDownload() && !static_cast<const URLSessionDataTask&>(*task_).completionHandler()) {
    core_.deliver([task = task_, response = response_](URLSession& session) {
      if (auto* delegate = dynamic_cast<URLSessionDataDelegate*>(session.delegate().get())) {
        delegate->URLSessionDataTaskDidReceiveResponse(session, static_cast<URLSessionDataTask&>(*task), response);
      }
    });
  }
  return true;
}

bool URLTransfer::acceptDownloadResponse(std::int64_t status, std::int64_t contentLength) {
  const auto tag = response_->valueForHTTPHeaderField("ETag");
  const auto modified = response_->valueForHTTPHeaderField("Last-Modified");
  const auto strongTag = tag && !tag->starts_with("W/") ? tag : std::nullopt;
  if (!resumeFrom_) {
    expected_ = contentLength;
    entityTag_ = strongTag;
    lastModified_ = modified;
    return true;
  }
  std::int64_t offset = 0;
  if (status == 206) {
    const auto header = response_->valueForHTTPHeaderField("Content-Range");
    const auto range = header ? parseContentRange(*header) : std::nullopt;
    if (!range || range->first != fileLength_) {
      abortError_ = makeURLError(NSURLErrorBadServerResponse, requestURL(),
                                 "the partial answer does not continue the file");
      return false;
    }
    offset = range->first;
    expected_ = range->complete ? *range->complete : (contentLength >= 0 ? offset + contentLength : -1);
    if (strongTag) entityTag_ = strongTag;
    if (modified) lastModified_ = modified;
  } else {
    // The entity changed or the server ignores ranges: it sends the whole
    // answer, which replaces what the file held.
    if (::ftruncate(descriptor_, 0) != 0 || ::lseek(descriptor_, 0, SEEK_SET) != 0) {
      abortError_ = makeURLError(NSURLErrorCannotWriteToFile, requestURL(), std::strerror(errno));
      partialFileUsable_ = false;
      return false;
    }
    fileLength_ = 0;
    received_ = 0;
    buffer_.clear();
    expected_ = contentLength;
    entityTag_ = strongTag;
    lastModified_ = modified;
  }
  {
    std::lock_guard lock(reports_->mutex);
    reports_->totalBytes = received_;
    reports_->expectedBytes = expected_;
  }
  const auto& download = static_cast<const URLSessionDownloadTask&>(*task_);
  if (!download.completionHandler()) {
    core_.deliver([task = task_, offset, expected = expected_](URLSession& session) {
      if (auto* delegate = dynamic_cast<URLSessionDownloadDelegate*>(session.delegate().get())) {
        delegate->URLSessionDownloadTaskDidResumeAtOffset(session, static_cast<URLSessionDownloadTask&>(*task), offset,
                                                          expected);
      }
    });
  }
  return true;
}

std::size_t URLTransfer::write(const char* bytes, std::size_t length) {
  lastActivity_ = std::chrono::steady_clock::now();
  if (!ensureResponse()) {
    if (!abortError_) abortError_ = makeURLError(NSURLErrorBadServerResponse, requestURL(), "no status line");
    return CURL_WRITEFUNC_ERROR;
  }
  received_ += static_cast<std::int64_t>(length);
  if (isDownload()) {
    buffer_.insert(buffer_.end(), bytes, bytes + length);
    if (buffer_.size() >= kFileBufferSize && !flush()) return CURL_WRITEFUNC_ERROR;
  } else if (static_cast<URLSessionDataTask&>(*task_).completionHandler()) {
    body_.insert(body_.end(), bytes, bytes + length);
  }
  task_->setCounts(received_, expected_);
  report(static_cast<std::int64_t>(length), bytes);
  return length;
}

bool URLTransfer::flush() {
  if (!partialFileUsable_) return false;
  std::size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t written = ::write(descriptor_, buffer_.data() + done, buffer_.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      const int error = written < 0 ? errno : ENOSPC;
      abortError_ = Error(makeURLError(NSURLErrorCannotWriteToFile, requestURL(), std::strerror(error))
                              .errorBySettingUserInfoValue(Value(Error(NSPOSIXErrorDomain, error)),
                                                           NSUnderlyingErrorKey));
      partialFileUsable_ = false;
      return false;
    }
    done += static_cast<std::size_t>(written);
  }
  fileLength_ += static_cast<std::int64_t>(done);
  buffer_.clear();
  return true;
}

void URLTransfer::report(std::int64_t bytes, const char* data) {
  bool wanted = false;
  if (isDownload()) {
    wanted = !static_cast<const URLSessionDownloadTask&>(*task_).completionHandler();
  } else {
    wanted = !static_cast<const URLSessionDataTask&>(*task_).completionHandler();
  }
  if (!wanted) return;
  std::lock_guard lock(reports_->mutex);
  reports_->unreportedBytes += bytes;
  reports_->totalBytes = received_;
  reports_->expectedBytes = expected_;
  if (!isDownload()) reports_->unreportedData.insert(reports_->unreportedData.end(), data, data + bytes);
  if (reports_->scheduled) return;
  if (reports_->unreportedBytes < kReportBytes && lastActivity_ - reports_->lastScheduled < kReportInterval) return;
  reports_->scheduled = true;
  reports_->lastScheduled = lastActivity_;
  scheduleReportDelivery();
}

std::optional<URLTransfer::TimePoint> URLTransfer::reportDue() const {
  std::lock_guard lock(reports_->mutex);
  if (reports_->scheduled || reports_->unreportedBytes == 0) return std::nullopt;
  return reports_->lastScheduled + kReportInterval;
}

void URLTransfer::deliverDueReports(TimePoint now) {
  const auto due = reportDue();
  if (due && now >= *due) flushReports();
}

void URLTransfer::flushReports() {
  std::lock_guard lock(reports_->mutex);
  if (reports_->scheduled || reports_->unreportedBytes == 0) return;
  reports_->scheduled = true;
  scheduleReportDelivery();
}

void URLTransfer::scheduleReportDelivery() {
  core_.deliver([reports = reports_, task = task_, download = isDownload()](URLSession& session) {
    std::int64_t bytes = 0, total = 0, expected = 0;
    std::vector<std::uint8_t> data;
    {
      std::lock_guard lock(reports->mutex);
      reports->scheduled = false;
      bytes = std::exchange(reports->unreportedBytes, 0);
      total = reports->totalBytes;
      expected = reports->expectedBytes;
      data.swap(reports->unreportedData);
    }
    if (bytes == 0) return;
    const auto delegate = session.delegate();
    if (download) {
      if (auto* receiver = dynamic_cast<URLSessionDownloadDelegate*>(delegate.get())) {
        receiver->URLSessionDownloadTaskDidWriteData(session, static_cast<URLSessionDownloadTask&>(*task), bytes,
                                                     total, expected);
      }
    } else if (auto* receiver = dynamic_cast<URLSessionDataDelegate*>(delegate.get())) {
      receiver->URLSessionDataTaskDidReceiveData(session, static_cast<URLSessionDataTask&>(*task),
                                                 Data::make(std::move(data)));
    }
  });
}

std::optional<Error> URLTransfer::errorFor(CURLcode result) const {
  if (abortError_) return abortError_;
  if (result == CURLE_OK) return std::nullopt;
  TransferFailure failure;
  failure.curlCode = result;
  curl_easy_getinfo(handle_, CURLINFO_OS_ERRNO, &failure.systemError);
  curl_easy_getinfo(handle_, CURLINFO_SSL_VERIFYRESULT, &failure.certificateVerifyResult);
  const std::string detail = errorText_[0] != '\0' ? std::string(errorText_) : curl_easy_strerror(result);
  return makeURLError(URLErrorCodeForTransferFailure(failure), requestURL(), detail);
}

std::shared_ptr<Data> URLTransfer::resumeData() {
  if (!isDownload() || !partialFileUsable_ || descriptor_ < 0 || request_.HTTPMethod() != "GET") return nullptr;
  if (!flush()) return nullptr;
  DownloadResumeState state;
  if (response_) {
    if (response_->statusCode() != 200 && response_->statusCode() != 206) return nullptr;
    if (!entityTag_ && !lastModified_) return nullptr;
    state.url = (response_->URL() ? response_->URL() : requestURL())->absoluteString();
  } else if (resumeFrom_) {
    state.url = resumeFrom_->url;
  } else {
    return nullptr;
  }
  state.bytesReceived = fileLength_;
  state.temporaryFilePath = filePath_;
  state.entityTag = entityTag_;
  state.lastModified = lastModified_;
  for (const auto& field : request_.allHTTPHeaderFields()) {
    if (!equalsIgnoringCase(field.first, "Range") && !equalsIgnoringCase(field.first, "If-Range")) {
      state.requestHeaders.push_back(field);
    }
  }
  state.requestTimeout = request_.timeoutInterval();
  return encodeDownloadResumeData(state);
}

TransferOutcome URLTransfer::failure(Error error, bool offerResumeData) {
  flushReports();
  TransferOutcome outcome;
  outcome.response = response_;
  if (offerResumeData) outcome.resumeData = resumeData();
  if (outcome.resumeData) {
    error = error.errorBySettingUserInfoValue(Value(outcome.resumeData), NSURLSessionDownloadTaskResumeData);
    ::close(descriptor_);
    descriptor_ = -1;
    filePath_.clear();  // the resume data owns the file now
  } else {
    // Gone before anyone hears of the failure.
    discardFile();
  }
  outcome.error = std::move(error);
  return outcome;
}

TransferOutcome URLTransfer::finish(CURLcode result) {
  if (result == CURLE_OK && ensureResponse() && (!isDownload() || flush())) {
    flushReports();
    TransferOutcome outcome;
    outcome.response = response_;
    if (isDownload()) {
      ::close(descriptor_);
      descriptor_ = -1;
      outcome.filePath = std::exchange(filePath_, std::string());
    } else if (static_cast<const URLSessionDataTask&>(*task_).completionHandler()) {
      outcome.body = Data::make(std::move(body_));
    }
    return outcome;
  }
  auto error = errorFor(result);
  if (!error) error = makeURLError(NSURLErrorBadServerResponse, requestURL(), "no answer");
  // A file that could not be written, or an answer that does not continue
  // it, cannot be resumed.
  const bool resumable = error->code() != NSURLErrorCannotWriteToFile && error->code() != NSURLErrorBadServerResponse;
  return failure(*error, resumable);
}

TransferOutcome URLTransfer::timeOut() {
  return failure(makeURLError(NSURLErrorTimedOut, requestURL(), "no data within the time-out"), true);
}

TransferOutcome URLTransfer::cancel(bool produceResumeData) {
  return failure(makeURLError(NSURLErrorCancelled, requestURL()), produceResumeData);
}

void URLTransfer::discardFile() {
  if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
  if (!filePath_.empty()) ::unlink(filePath_.c_str());
  filePath_.clear();
}

}  // namespace fnd::detail
