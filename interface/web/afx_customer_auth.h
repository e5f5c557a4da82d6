#pragma once

// Exchanging a customer's password, or an access token from a sign-in link,
// for an authentication token at the customer endpoint.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/url.h"
#include "interface/model/afx_base_model_object.h"
#include "interface/model/afx_customer_credentials.h"
#include "interface/model/afx_endpoint.h"
#include "interface/model/afx_environment.h"
#include "interface/network/afx_metrics_sink.h"
#include "tools/qv_value_or_error.h"

// Paths under a needy customer endpoint.
inline constexpr std::string_view AFXCustomerAPIGetAuthTokenNeedySubpath = "v3/auth_token";
inline constexpr std::string_view AFXCustomerAPIGetAuthTokenWithAccessTokenNeedySubpath = "v3/auth_by_access_token";
inline constexpr std::string_view AFXCustomerAPIGetAccessTokenNeedySubpath = "v3/cross_auth_token";
inline constexpr std::string_view AFXCustomerAPIGetCustomerIdentityNeedySubpath = "v3/customer";
inline constexpr std::string_view AFXCustomerAPILoginWithAuthNeedySubpath = "v3/token";
inline constexpr std::string_view AFXCustomerAPILogoutWithTokenNeedySubpath = "v3/token";
inline constexpr std::string_view AFXCustomerAPICustomerInfoNeedySubpath = "v3/token";
inline constexpr std::string_view AFXCustomerAPIPersonalsNeedySubpath = "v3/personals";
inline constexpr std::string_view AFXCustomerAPISaveAPNSTokenNeedySubpath = "v3/apns_token";

using AFXAuthTokenCallback = std::function<void(const std::shared_ptr<QVValueOrError>& tokenOrError)>;

// What can be exchanged for a token; the callback's value is the token text.
class AFXCustomerAuth {
 public:
  virtual ~AFXCustomerAuth() = default;
  virtual const std::optional<std::string>& accountName() const = 0;
  virtual void fetchAuthTokenAtAPIEndpoint(const AFXEndpoint& endpoint, AFXAuthTokenCallback callback) const = 0;
};

class AFCustomerAuthByPassword final : public AFXBaseModelObject, public AFXCustomerAuth {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<AFCustomerAuthByPassword> initWithAccountName(std::string accountName, std::string password);

  const std::optional<std::string>& accountName() const override { return accountName_; }
  const std::optional<std::string>& password() const { return password_; }
  void fetchAuthTokenAtAPIEndpoint(const AFXEndpoint& endpoint, AFXAuthTokenCallback callback) const override;

  const fnd::Class& objectClass() const override { return staticClass(); }
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;

 private:
  AFCustomerAuthByPassword() = default;
  std::optional<std::string> accountName_;
  std::optional<std::string> password_;
};

class AFCustomerAuthByAccessToken final : public AFXBaseModelObject, public AFXCustomerAuth {
 public:
  static const fnd::Class& staticClass();
  static std::shared_ptr<QVClassReflection> makeReflection();
  static std::shared_ptr<AFCustomerAuthByAccessToken> initWithAccountName(std::string accountName,
                                                                          std::string accessToken);

  const std::optional<std::string>& accountName() const override { return accountName_; }
  const std::optional<std::string>& accessToken() const { return accessToken_; }
  void fetchAuthTokenAtAPIEndpoint(const AFXEndpoint& endpoint, AFXAuthTokenCallback callback) const override;

  const fnd::Class& objectClass() const override { return staticClass(); }
  bool isEqual(const fnd::Object& other) const override;
  std::size_t hash() const override;

 private:
  AFCustomerAuthByAccessToken() = default;
  std::optional<std::string> accountName_;
  std::optional<std::string> accessToken_;
};

// POSTs the items, as a form body, to the URL on a session of its own and
// reads "data.id" of the JSON answer. Errors are the catalogue's customer
// errors; the callback runs on the session's queue.
void AFXFetchAuthToken(const std::shared_ptr<fnd::URL>& url, const std::vector<std::pair<std::string, std::string>>& items,
                       AFXAuthTokenCallback callback);

// Credentials for the account at the environment's customer endpoint; the
// timing "get_auth_token" (or "get_auth_token-failure") goes to `statsdClient`
// when given.
void AFXCustomerCredentialsMakeWithCustomerAuth(const std::shared_ptr<AFXCustomerAuth>& auth,
                                                const std::shared_ptr<AFXEnvironment>& environment,
                                                const std::shared_ptr<AFXMetricsSink>& statsdClient,
                                                std::function<void(const std::shared_ptr<QVValueOrError>&)> callback);

// Sign-in links: an access-token record when both the account and the token
// are in the link's query (the last of repeated items), else none.
std::shared_ptr<AFCustomerAuthByAccessToken> AFXGetCustomerFromInstallerAutoSignInURL(const fnd::URL& url);
std::shared_ptr<AFCustomerAuthByAccessToken> AFXGetCustomerFromEventAutoSignInURL(const fnd::URL& url);
