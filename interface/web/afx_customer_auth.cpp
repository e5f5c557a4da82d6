#include "interface/web/afx_customer_auth.h"

#include <chrono>

#include "foundation/check.h"
#include "foundation/clock.h"
#include "foundation/json_serialization.h"
#include "foundation/string.h"
#include "foundation/url_session.h"
#include "interface/errors/afx_errors.h"
#include "interface/errors/afx_network_response.h"
#include "interface/model/afx_endpoints_manifest.h"
#include "interface/model/afx_model_support.h"
#include "interface/web/afx_customer_urls.h"
#include "logging/dd_log_macros.h"
#include "tools/qv_json_parser.h"

namespace {

using afx_model_detail::memberProperty;

constexpr std::string_view kAuthTokenRequestID = "v3/auth_token";
constexpr double kAuthTokenTimeout = 30.0;

std::shared_ptr<fnd::URL> endpointURL(const AFXEndpoint& endpoint, std::string_view needySubpath) {
  if (!endpoint.URL()) return nullptr;
  return endpoint.isNeedy() ? endpoint.URL()->URLByAppendingPathComponent(needySubpath) : endpoint.URL();
}

std::shared_ptr<QVValueOrError> tokenFromAnswer(const std::shared_ptr<fnd::Data>& data) {
  auto json = fnd::JSONSerialization::JSONObjectWithData(data ? std::span<const std::uint8_t>(data->bytes())
                                                              : std::span<const std::uint8_t>());
  std::optional<fnd::Error> error;
  std::shared_ptr<fnd::String> token;
  if (!json) {
    error = json.error();
  } else if (auto dictionary = json->as<fnd::Dictionary>()) {
    auto parser = QVJSONParser::initWithJSON(dictionary);
    token = parser->stringForKeyPath("data.id");
    error = parser->lastError();
    if (!token && !error) error = QVJSONParserMissingValueError("data.id");
  } else {
    error = QVJSONParserIncorrectTypeError("data");
  }
  if (error) {
    DDLogError("Did fail to parse refresh token with error %@", *error);
    return QVValueOrError::initWithError(*error);
  }
  return QVValueOrError::initWithValue(fnd::Value(token));
}

// "name=value" pairs as given (values already encoded), joined by "&".
std::string formBody(const std::vector<std::pair<std::string, std::string>>& items) {
  std::string body;
  for (const auto& [name, value] : items) {
    if (!body.empty()) body.push_back('&');
    body += name + "=" + value;
  }
  return body;
}

std::map<std::string, std::string> lastQueryValues(const fnd::URL& url) {
  std::map<std::string, std::string> values;
  const std::string query = url.query().value_or("");
  std::size_t start = 0;
  while (start <= query.size()) {
    const std::size_t end = std::min(query.find('&', start), query.size());
    const std::string_view item(query.data() + start, end - start);
    const std::size_t equals = item.find('=');
    auto name = fnd::URL::percentDecode(item.substr(0, equals));
    auto value = equals == std::string_view::npos ? std::optional<std::string>("")
                                                  : fnd::URL::percentDecode(item.substr(equals + 1));
    if (name && value && !name->empty()) values[*name] = *value;
    start = end + 1;
  }
  return values;
}

std::shared_ptr<AFCustomerAuthByAccessToken> authFromLink(const fnd::URL& url, const std::string& emailItem) {
  auto values = lastQueryValues(url);
  const std::string token = values["access_token"];
  const std::string email = values[emailItem];
  if (token.empty() || email.empty()) return nullptr;
  return AFCustomerAuthByAccessToken::initWithAccountName(email, token);
}

}  // namespace

// AFCustomerAuthByPassword

const fnd::Class& AFCustomerAuthByPassword::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFCustomerAuthByPassword", AFXBaseModelObject::staticClass(),
      [] { return std::shared_ptr<AFCustomerAuthByPassword>(new AFCustomerAuthByPassword); },
      {memberProperty("accountName", &AFCustomerAuthByPassword::accountName_),
       memberProperty("password", &AFCustomerAuthByPassword::password_)},
      &AFCustomerAuthByPassword::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFCustomerAuthByPassword::makeReflection() {
  auto reflection = AFXBaseModelObject::makeReflection();
  reflection->addPropertyForSelector("accountName", fnd::String::staticClass());
  reflection->addPropertyForSelector("password", fnd::String::staticClass());
  return reflection;
}

std::shared_ptr<AFCustomerAuthByPassword> AFCustomerAuthByPassword::initWithAccountName(std::string accountName,
                                                                                      std::string password) {
  (void)staticClass();
  auto auth = std::shared_ptr<AFCustomerAuthByPassword>(new AFCustomerAuthByPassword);
  auth->accountName_ = std::move(accountName);
  auth->password_ = std::move(password);
  return auth;
}

bool AFCustomerAuthByPassword::isEqual(const fnd::Object& other) const {
  const auto* auth = dynamic_cast<const AFCustomerAuthByPassword*>(&other);
  return auth != nullptr && accountName_ == auth->accountName_ && password_ == auth->password_;
}

std::size_t AFCustomerAuthByPassword::hash() const {
  return afx_model_detail::hashOf(accountName_) ^ afx_model_detail::hashOf(password_);
}

void AFCustomerAuthByPassword::fetchAuthTokenAtAPIEndpoint(const AFXEndpoint& endpoint, AFXAuthTokenCallback callback) const {
  FND_PARAMETER_ASSERT_TEXT(accountName_.has_value(), "self.accountName");
  FND_PARAMETER_ASSERT_TEXT(password_.has_value(), "self.password");
  // Encoded with the customer set, so "&" or "=" in a password cannot split the body.
  AFXFetchAuthToken(endpointURL(endpoint, AFXCustomerAPIGetAuthTokenNeedySubpath),
                    {{"email", afx_stringByAddingCustomerQueryPercentEncoding(*accountName_)},
                     {"password", afx_stringByAddingCustomerQueryPercentEncoding(*password_)}},
                    std::move(callback));
}

// AFCustomerAuthByAccessToken

const fnd::Class& AFCustomerAuthByAccessToken::staticClass() {
  static const fnd::Class& cls = afx_model_detail::defineModelClass(
      "AFCustomerAuthByAccessToken", AFXBaseModelObject::staticClass(),
      [] { return std::shared_ptr<AFCustomerAuthByAccessToken>(new AFCustomerAuthByAccessToken); },
      {memberProperty("accountName", &AFCustomerAuthByAccessToken::accountName_),
       memberProperty("accessToken", &AFCustomerAuthByAccessToken::accessToken_)},
      &AFCustomerAuthByAccessToken::makeReflection);
  return cls;
}

std::shared_ptr<QVClassReflection> AFCustomerAuthByAccessToken::makeReflection() {
  auto reflection = AFXBaseModelObject::makeReflection();
  reflection->addPropertyForSelector("accountName", fnd::String::staticClass());
  reflection->addPropertyForSelector("accessToken", fnd::String::staticClass());
  return reflection;
}

std::shared_ptr<AFCustomerAuthByAccessToken> AFCustomerAuthByAccessToken::initWithAccountName(std::string accountName,
                                                                                            std::string accessToken) {
  (void)staticClass();
  auto auth = std::shared_ptr<AFCustomerAuthByAccessToken>(new AFCustomerAuthByAccessToken);
  auth->accountName_ = std::move(accountName);
  auth->accessToken_ = std::move(accessToken);
  return auth;
}

bool AFCustomerAuthByAccessToken::isEqual(const fnd::Object& other) const {
  const auto* auth = dynamic_cast<const AFCustomerAuthByAccessToken*>(&other);
  return auth != nullptr && accountName_ == auth->accountName_ && accessToken_ == auth->accessToken_;
}

std::size_t AFCustomerAuthByAccessToken::hash() const {
  return afx_model_detail::hashOf(accountName_) ^ afx_model_detail::hashOf(accessToken_);
}

void AFCustomerAuthByAccessToken::fetchAuthTokenAtAPIEndpoint(const AFXEndpoint& endpoint,
                                                              AFXAuthTokenCallback callback) const {
  FND_PARAMETER_ASSERT_TEXT(accessToken_.has_value(), "self.accessToken");
  // Encoded like the password: a token is opaque text and must not be able
  // to add items to the body.
  AFXFetchAuthToken(endpointURL(endpoint, AFXCustomerAPIGetAuthTokenWithAccessTokenNeedySubpath),
                    {{"access_token", afx_stringByAddingCustomerQueryPercentEncoding(*accessToken_)}},
                    std::move(callback));
}

// The shared request

void AFXFetchAuthToken(const std::shared_ptr<fnd::URL>& url, const std::vector<std::pair<std::string, std::string>>& items,
                       AFXAuthTokenCallback callback) {
  FND_PARAMETER_ASSERT(callback != nullptr);
  if (!url) {
    callback(QVValueOrError::initWithError(afx_makeErrorOfMissingObjectOfKind("customer endpoint URL")));
    return;
  }
  fnd::URLRequest request(url, fnd::URLRequestCachePolicy::reloadIgnoringLocalCacheData, kAuthTokenTimeout);
  request.setHTTPMethod("POST");
  const std::string body = formBody(items);
  request.setHTTPBody(std::vector<std::uint8_t>(body.begin(), body.end()));
  auto session = fnd::URLSession::sessionWithConfiguration(fnd::URLSessionConfiguration::defaultSessionConfiguration());
  auto task = session->dataTaskWithRequest(
      request, [session, url, callback](const std::shared_ptr<fnd::Data>& data,
                                        const std::shared_ptr<fnd::HTTPURLResponse>& response,
                                        const std::optional<fnd::Error>& networkError) {
        std::optional<AFXURLResponse> answer;
        if (response) answer = AFXURLResponse{url, response->statusCode()};
        if (auto error = afx_interpretNetworkResponse(answer, kAuthTokenRequestID, networkError)) {
          callback(QVValueOrError::initWithError(afx_customerError(*error)));
        } else {
          callback(tokenFromAnswer(data));
        }
        // The session lives until its one answer has been handled.
        session->finishTasksAndInvalidate();
      });
  task->resume();
}

void AFXCustomerCredentialsMakeWithCustomerAuth(const std::shared_ptr<AFXCustomerAuth>& auth,
                                                const std::shared_ptr<AFXEnvironment>& environment,
                                                const std::shared_ptr<AFXMetricsSink>& statsdClient,
                                                std::function<void(const std::shared_ptr<QVValueOrError>&)> callback) {
  FND_PARAMETER_ASSERT(auth != nullptr);
  FND_PARAMETER_ASSERT(environment != nullptr);
  const auto started = fnd::Clock::current().now();
  auto finish = [started, statsdClient, callback](const std::shared_ptr<QVValueOrError>& result) {
    if (statsdClient) {
      const double seconds = std::chrono::duration<double>(fnd::Clock::current().now() - started).count();
      statsdClient->metricsNamedRecordTiming(result->error() ? "get_auth_token-failure" : "get_auth_token", seconds);
    }
    callback(result);
  };
  const auto& manifest = environment->endpointsManifest();
  const auto endpoint = manifest ? manifest->endpointForCustomerAPI() : nullptr;
  if (!endpoint) {
    finish(QVValueOrError::initWithError(afx_makeErrorOfMissingObjectOfKind("customer endpoint")));
    return;
  }
  auto customerID = AFXCustomerID::initWithAccountName(auth->accountName().value_or(""), environment->identifier());
  auth->fetchAuthTokenAtAPIEndpoint(*endpoint, [customerID, finish](const std::shared_ptr<QVValueOrError>& token) {
    if (token->error()) {
      finish(token);
      return;
    }
    finish(QVValueOrError::initWithValue(
        fnd::Value(AFXCustomerCredentials::initWithCustomerID(customerID, token->value().stringValue()))));
  });
}

std::shared_ptr<AFCustomerAuthByAccessToken> AFXGetCustomerFromInstallerAutoSignInURL(const fnd::URL& url) {
  return authFromLink(url, "email");
}

std::shared_ptr<AFCustomerAuthByAccessToken> AFXGetCustomerFromEventAutoSignInURL(const fnd::URL& url) {
  return authFromLink(url, "user_email");
}
