// korvia-push: stands in for the service's back end and sends the desktop
// client a push notification or a device token over the session bus.
//
//   korvia-push token HEX
//   korvia-push deliver [--local] USERINFO.json
//
// "deliver" prints "handled" or "not handled"; the exit status is 0 when the
// client answered, 69 when it could not be reached, 64 for a usage mistake.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/json_serialization.h"
#include "foundation/queue.h"
#include "interface/client_services/afx_push_notifications_delivery.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: korvia-push token HEX | korvia-push deliver [--local] USERINFO.json\n");
  return 64;
}

std::optional<std::vector<std::uint8_t>> bytesOfHex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    if (std::sscanf(std::string(text.substr(i, 2)).c_str(), "%2x", &value) != 1) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(value));
  }
  return bytes;
}

int sendToken(std::string_view hex) {
  auto bytes = bytesOfHex(hex);
  if (!bytes) return usage();
  std::promise<std::optional<fnd::Error>> sent;
  AFXSendPushDeviceToken(fnd::Data::make(std::move(*bytes)),
                         [&sent](const std::optional<fnd::Error>& error) { sent.set_value(error); });
  if (auto error = sent.get_future().get()) {
    std::fprintf(stderr, "%s\n", error->description().c_str());
    return 69;
  }
  return 0;
}

int deliver(const std::string& path, bool remote) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  auto document = fnd::JSONSerialization::JSONObjectWithData(text.str());
  auto userInfo = document ? document->as<fnd::Dictionary>() : nullptr;
  if (!userInfo) {
    std::fprintf(stderr, "%s holds no JSON object\n", path.c_str());
    return 65;
  }
  std::promise<fnd::Expected<bool>> answered;
  AFXDeliverPushNotification(userInfo, remote, [&answered](fnd::Expected<bool> handled) { answered.set_value(std::move(handled)); });
  auto handled = answered.get_future().get();
  if (!handled) {
    std::fprintf(stderr, "%s\n", handled.error().description().c_str());
    return 69;
  }
  std::printf("%s\n", *handled ? "handled" : "not handled");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "token") == 0) return sendToken(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "deliver") == 0) return deliver(argv[2], true);
  if (argc == 4 && std::strcmp(argv[1], "deliver") == 0 && std::strcmp(argv[2], "--local") == 0) return deliver(argv[3], false);
  return usage();
}
