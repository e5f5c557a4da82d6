#include "foundation/network_reachability.h"

#include <arpa/inet.h>
#include <linux/if.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

namespace fnd {
namespace detail {
namespace {

constexpr std::size_t kAttributeHeaderLength = RTA_LENGTH(0);
constexpr std::uint8_t kNextHopDownFlags = RTNH_F_DEAD | RTNH_F_LINKDOWN;

template <class T>
std::optional<T> readValue(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < sizeof(T)) return std::nullopt;
  T value;
  std::memcpy(&value, bytes.data(), sizeof value);
  return value;
}

// Calls visit(type, payload) for each route attribute; false when one
// overruns the bytes.
template <class Visit>
bool forEachAttribute(std::span<const std::uint8_t> bytes, Visit&& visit) {
  std::size_t offset = 0;
  while (bytes.size() - offset >= sizeof(rtattr)) {
    const auto attribute = *readValue<rtattr>(bytes.subspan(offset));
    if (attribute.rta_len < sizeof(rtattr) || attribute.rta_len > bytes.size() - offset) return false;
    visit(attribute.rta_type & NLA_TYPE_MASK,
          bytes.subspan(offset + kAttributeHeaderLength, attribute.rta_len - kAttributeHeaderLength));
    offset += std::min<std::size_t>(RTA_ALIGN(attribute.rta_len), bytes.size() - offset);
  }
  return true;
}

// The next hops of a multipath route, each with its own link and gateway.
bool appendNextHops(std::span<const std::uint8_t> bytes, const NetlinkRoute& base, std::vector<NetlinkRoute>& routes) {
  std::size_t offset = 0;
  while (bytes.size() - offset >= sizeof(rtnexthop)) {
    const auto nextHop = *readValue<rtnexthop>(bytes.subspan(offset));
    if (nextHop.rtnh_len < sizeof(rtnexthop) || nextHop.rtnh_len > bytes.size() - offset) return false;
    NetlinkRoute route = base;
    route.outputInterface = nextHop.rtnh_ifindex;
    route.hasGateway = false;
    route.linkDown = (nextHop.rtnh_flags & kNextHopDownFlags) != 0;
    const std::size_t attributesOffset = RTNH_ALIGN(sizeof(rtnexthop));
    if (nextHop.rtnh_len > attributesOffset) {
      const bool wellFormed = forEachAttribute(
          bytes.subspan(offset + attributesOffset, nextHop.rtnh_len - attributesOffset),
          [&](unsigned type, std::span<const std::uint8_t>) {
            if (type == RTA_GATEWAY || type == RTA_VIA) route.hasGateway = true;
          });
      if (!wellFormed) return false;
    }
    routes.push_back(route);
    offset += std::min<std::size_t>(RTNH_ALIGN(nextHop.rtnh_len), bytes.size() - offset);
  }
  return true;
}

bool decodeRoute(std::span<const std::uint8_t> payload, std::vector<NetlinkRoute>& routes) {
  const std::optional<rtmsg> header = readValue<rtmsg>(payload);
  if (!header) return false;
  NetlinkRoute route;
  route.type = header->rtm_type;
  route.destinationLength = header->rtm_dst_len;
  route.table = header->rtm_table;
  route.linkDown = (header->rtm_flags & kNextHopDownFlags) != 0;
  std::optional<std::span<const std::uint8_t>> multipath;
  bool wellFormed = true;
  const std::size_t attributesOffset = NLMSG_ALIGN(sizeof(rtmsg));
  if (payload.size() > attributesOffset) {
    wellFormed = forEachAttribute(payload.subspan(attributesOffset), [&](unsigned type, std::span<const std::uint8_t> value) {
      switch (type) {
        case RTA_TABLE:
          if (auto table = readValue<std::uint32_t>(value)) route.table = *table;
          break;
        case RTA_OIF:
          if (auto index = readValue<int>(value)) route.outputInterface = *index;
          break;
        case RTA_GATEWAY:
        case RTA_VIA:
          route.hasGateway = true;
          break;
        case RTA_MULTIPATH:
          multipath = value;
          break;
        default:
          break;
      }
    });
  }
  if (!wellFormed) return false;
  if (multipath) return appendNextHops(*multipath, route, routes);
  routes.push_back(route);
  return true;
}

bool decodeLink(std::span<const std::uint8_t> payload, std::vector<NetlinkLink>& links) {
  const std::optional<ifinfomsg> header = readValue<ifinfomsg>(payload);
  if (!header) return false;
  NetlinkLink link;
  link.index = header->ifi_index;
  link.flags = header->ifi_flags;
  const std::size_t attributesOffset = NLMSG_ALIGN(sizeof(ifinfomsg));
  if (payload.size() > attributesOffset) {
    const bool wellFormed =
        forEachAttribute(payload.subspan(attributesOffset), [&](unsigned type, std::span<const std::uint8_t> value) {
          if (type == IFLA_OPERSTATE) link.operationalState = readValue<std::uint8_t>(value);
        });
    if (!wellFormed) return false;
  }
  links.push_back(link);
  return true;
}

// An acknowledgement carries 0, a refusal the negated errno.
void decodeStatus(std::span<const std::uint8_t> payload, NetlinkMessages& messages) {
  const std::optional<int> status = readValue<int>(payload);
  if (!status) {
    messages.malformed = true;
  } else if (*status == 0) {
    messages.acknowledged = true;
  } else {
    messages.error = *status < 0 ? -*status : *status;
  }
}

bool isChangeAnnouncement(std::uint16_t type) {
  switch (type) {
    case RTM_NEWLINK:
    case RTM_DELLINK:
    case RTM_NEWADDR:
    case RTM_DELADDR:
    case RTM_NEWROUTE:
    case RTM_DELROUTE:
      return true;
    default:
      return false;
  }
}

void decodeMessage(const nlmsghdr& header, std::span<const std::uint8_t> payload, NetlinkMessages& messages) {
  if (isChangeAnnouncement(header.nlmsg_type)) ++messages.changes;
  switch (header.nlmsg_type) {
    case NLMSG_ERROR:
      decodeStatus(payload, messages);
      break;
    case NLMSG_DONE:
      messages.done = true;
      if (auto status = readValue<int>(payload); status && *status < 0) messages.error = -*status;
      break;
    case NLMSG_OVERRUN:
      messages.malformed = true;
      break;
    case RTM_NEWROUTE:
      if (!decodeRoute(payload, messages.routes)) messages.malformed = true;
      break;
    case RTM_NEWLINK:
      if (!decodeLink(payload, messages.links)) messages.malformed = true;
      break;
    default:
      break;
  }
}

}  // namespace

NetlinkMessages decodeNetlinkMessages(std::span<const std::uint8_t> buffer, std::optional<std::uint32_t> sequence) {
  NetlinkMessages messages;
  std::size_t offset = 0;
  while (buffer.size() - offset >= sizeof(nlmsghdr)) {
    const auto header = *readValue<nlmsghdr>(buffer.subspan(offset));
    if (header.nlmsg_len < NLMSG_HDRLEN || header.nlmsg_len > buffer.size() - offset) {
      messages.malformed = true;
      break;
    }
    if (!sequence || header.nlmsg_seq == *sequence) {
      decodeMessage(header, buffer.subspan(offset + NLMSG_HDRLEN, header.nlmsg_len - NLMSG_HDRLEN), messages);
    }
    offset += std::min<std::size_t>(NLMSG_ALIGN(header.nlmsg_len), buffer.size() - offset);
  }
  return messages;
}

}  // namespace detail

namespace {

using detail::NetlinkLink;
using detail::NetlinkMessages;
using detail::NetlinkRoute;

// A kernel answer that does not come is a failure to read, not a hang.
constexpr int kQueryTimeoutSeconds = 2;
constexpr std::size_t kReceiveBufferSize = 64 * 1024;
// Bounds a dump the kernel never ends.
constexpr int kMaximumDatagramsPerQuery = 4096;
constexpr std::uint32_t kAnnouncementGroups =
    RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_IFADDR | RTMGRP_IPV6_ROUTE;

class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ~FileDescriptor() { reset(); }

  int get() const { return fd_; }
  bool isValid() const { return fd_ >= 0; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

FileDescriptor openRouteSocket(std::uint32_t groups, int extraTypeFlags) {
  FileDescriptor socket(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | extraTypeFlags, NETLINK_ROUTE));
  if (!socket.isValid()) return socket;
  sockaddr_nl local{};
  local.nl_family = AF_NETLINK;
  local.nl_groups = groups;
  if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) socket.reset();
  return socket;
}

std::uint32_t nextSequenceNumber() {
  static std::atomic<std::uint32_t> sequence{1};
  return sequence.fetch_add(1, std::memory_order_relaxed);
}

void mergeMessages(NetlinkMessages& into, NetlinkMessages&& part) {
  into.routes.insert(into.routes.end(), part.routes.begin(), part.routes.end());
  into.links.insert(into.links.end(), part.links.begin(), part.links.end());
  into.changes += part.changes;
  if (part.error) into.error = part.error;
  into.acknowledged = into.acknowledged || part.acknowledged;
  into.done = into.done || part.done;
  into.malformed = into.malformed || part.malformed;
}

bool isAnswerComplete(const NetlinkMessages& messages, bool isDump) {
  if (messages.error || messages.done) return true;
  return !isDump && (!messages.routes.empty() || !messages.links.empty() || messages.acknowledged);
}

// Sends one request to the kernel and collects its answer; nullopt when the
// exchange itself fails.
std::optional<NetlinkMessages> exchange(std::vector<std::uint8_t> request, std::uint16_t type, bool isDump) {
  FileDescriptor socket = openRouteSocket(0, 0);
  if (!socket.isValid()) return std::nullopt;
  const timeval timeout{.tv_sec = kQueryTimeoutSeconds, .tv_usec = 0};
  if (::setsockopt(socket.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0) return std::nullopt;

  nlmsghdr header{};
  header.nlmsg_len = static_cast<std::uint32_t>(request.size());
  header.nlmsg_type = type;
  header.nlmsg_flags = static_cast<std::uint16_t>(NLM_F_REQUEST | (isDump ? NLM_F_DUMP : NLM_F_ACK));
  header.nlmsg_seq = nextSequenceNumber();
  std::memcpy(request.data(), &header, sizeof header);
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(socket.get(), request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&kernel),
               sizeof kernel) != static_cast<ssize_t>(request.size())) {
    return std::nullopt;
  }

  std::vector<std::uint8_t> buffer(kReceiveBufferSize);
  NetlinkMessages answer;
  for (int datagram = 0; datagram < kMaximumDatagramsPerQuery && !isAnswerComplete(answer, isDump); ++datagram) {
    sockaddr_nl sender{};
    socklen_t senderLength = sizeof sender;
    const ssize_t length = ::recvfrom(socket.get(), buffer.data(), buffer.size(), MSG_TRUNC,
                                      reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (length < 0 && errno == EINTR) continue;
    if (length < 0 || static_cast<std::size_t>(length) > buffer.size()) return std::nullopt;
    if (sender.nl_pid != 0) continue;  // Only the kernel answers.
    mergeMessages(answer,
                  detail::decodeNetlinkMessages(std::span(buffer.data(), static_cast<std::size_t>(length)),
                                                header.nlmsg_seq));
    if (answer.malformed) return std::nullopt;
  }
  if (!isAnswerComplete(answer, isDump)) return std::nullopt;
  return answer;
}

constexpr std::size_t kRequestAttributeHeaderLength = RTA_LENGTH(0);

// Room for the netlink header, then `body`, then optional attributes.
template <class Body>
std::vector<std::uint8_t> requestWithBody(const Body& body) {
  std::vector<std::uint8_t> request(NLMSG_LENGTH(sizeof(Body)));
  std::memcpy(request.data() + NLMSG_HDRLEN, &body, sizeof body);
  return request;
}

void appendAttribute(std::vector<std::uint8_t>& request, std::uint16_t type, const void* value, std::size_t length) {
  request.resize(NLMSG_ALIGN(request.size()));
  const std::size_t offset = request.size();
  request.resize(offset + RTA_SPACE(length));
  rtattr attribute{};
  attribute.rta_len = static_cast<std::uint16_t>(RTA_LENGTH(length));
  attribute.rta_type = type;
  std::memcpy(request.data() + offset, &attribute, sizeof attribute);
  std::memcpy(request.data() + offset + kRequestAttributeHeaderLength, value, length);
}


// What the kernel says about one interface; nullopt when it cannot be asked.
std::optional<NetlinkLink> linkWithIndex(int index) {
  ifinfomsg body{};
  body.ifi_family = AF_UNSPEC;
  body.ifi_index = index;
  auto answer = exchange(requestWithBody(body), RTM_GETLINK, false);
  if (!answer) return std::nullopt;
  for (const NetlinkLink& link : answer->links) {
    if (link.index == index) return link;
  }
  return NetlinkLink{.index = index, .flags = 0, .operationalState = std::nullopt};
}

bool isUp(const NetlinkLink& link) {
  if ((link.flags & IFF_UP) == 0) return false;
  if (!link.operationalState) return true;
  switch (*link.operationalState) {
    case IF_OPER_DOWN:
    case IF_OPER_LOWERLAYERDOWN:
    case IF_OPER_NOTPRESENT:
      return false;
    default:
      return true;
  }
}

// The flags of one route, judged by its type and the interface it leaves by.
std::optional<NetworkReachabilityFlags> flagsOfRoute(const NetlinkRoute& route) {
  if (route.linkDown) return 0;
  NetworkReachabilityFlags flags = kNetworkReachabilityFlagsReachable;
  switch (route.type) {
    case RTN_LOCAL:
      flags |= kNetworkReachabilityFlagsIsLocalAddress | kNetworkReachabilityFlagsIsDirect;
      break;
    case RTN_UNICAST:
    case RTN_BROADCAST:
    case RTN_MULTICAST:
    case RTN_ANYCAST:
      if (!route.hasGateway) flags |= kNetworkReachabilityFlagsIsDirect;
      break;
    default:  // unreachable, blackhole, prohibit, throw
      return 0;
  }
  if (route.outputInterface == 0) return flags;
  const std::optional<NetlinkLink> link = linkWithIndex(route.outputInterface);
  if (!link) return std::nullopt;
  if (!isUp(*link)) return 0;
  if ((link->flags & IFF_POINTOPOINT) != 0) flags |= kNetworkReachabilityFlagsTransientConnection;
  return flags;
}

// The kernel's choice of route towards one address.
std::optional<NetworkReachabilityFlags> flagsTowards(const sockaddr_storage& address) {
  rtmsg body{};
  body.rtm_family = static_cast<unsigned char>(address.ss_family);
  std::vector<std::uint8_t> request;
  if (address.ss_family == AF_INET) {
    body.rtm_dst_len = 32;
    request = requestWithBody(body);
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    appendAttribute(request, RTA_DST, &v4.sin_addr, sizeof v4.sin_addr);
  } else {
    body.rtm_dst_len = 128;
    request = requestWithBody(body);
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    appendAttribute(request, RTA_DST, &v6.sin6_addr, sizeof v6.sin6_addr);
  }
  auto answer = exchange(std::move(request), RTM_GETROUTE, false);
  if (!answer) return std::nullopt;
  // No route: the kernel refuses the lookup (ENETUNREACH and the like).
  if (answer->error || answer->routes.empty()) return 0;
  return flagsOfRoute(answer->routes.front());
}

// "The internet in general": a default route, of either family, through an
// interface that is up. Asking the kernel for a route to the unspecified
// address itself would only find the local one.
std::optional<NetworkReachabilityFlags> flagsOfDefaultRoute() {
  std::optional<NetworkReachabilityFlags> best;
  for (unsigned char family : {AF_INET, AF_INET6}) {
    rtmsg body{};
    body.rtm_family = family;
    auto answer = exchange(requestWithBody(body), RTM_GETROUTE, true);
    if (!answer) continue;
    if (!best) best = 0;
    for (const NetlinkRoute& route : answer->routes) {
      if (route.destinationLength != 0 || route.type != RTN_UNICAST || route.table == RT_TABLE_LOCAL) continue;
      const std::optional<NetworkReachabilityFlags> flags = flagsOfRoute(route);
      if (flags && (*flags & kNetworkReachabilityFlagsReachable) != 0) return flags;
    }
  }
  return best;
}

bool isUnspecified(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) {
    return reinterpret_cast<const sockaddr_in&>(address).sin_addr.s_addr == htonl(INADDR_ANY);
  }
  return IN6_IS_ADDR_UNSPECIFIED(&reinterpret_cast<const sockaddr_in6&>(address).sin6_addr);
}

std::optional<NetworkReachabilityFlags> flagsOfAddress(const sockaddr_storage& address) {
  return isUnspecified(address) ? flagsOfDefaultRoute() : flagsTowards(address);
}

// A name's addresses, as the resolver gives them; empty when it cannot.
std::vector<sockaddr_storage> addressesOfName(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::vector<sockaddr_storage> addresses;
  if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return addresses;
  for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
    if ((entry->ai_family != AF_INET && entry->ai_family != AF_INET6) || entry->ai_addrlen > sizeof(sockaddr_storage)) {
      continue;
    }
    sockaddr_storage address{};
    std::memcpy(&address, entry->ai_addr, entry->ai_addrlen);
    addresses.push_back(address);
  }
  ::freeaddrinfo(found);
  return addresses;
}

// What is watched: an address, or a name resolved at each reading.
struct Destination {
  std::string hostName;
  sockaddr_storage address{};

  std::optional<NetworkReachabilityFlags> flags() const {
    if (hostName.empty()) return flagsOfAddress(address);
    const std::vector<sockaddr_storage> addresses = addressesOfName(hostName);
    if (addresses.empty()) return 0;  // A name that does not resolve cannot be reached.
    std::optional<NetworkReachabilityFlags> result;
    for (const sockaddr_storage& resolved : addresses) {
      const auto flags = flagsOfAddress(resolved);
      if (flags && (*flags & kNetworkReachabilityFlagsReachable) != 0) return flags;
      if (flags) result = flags;
    }
    return result;
  }
};

// Where changes go; shared with the watching thread, which never holds the
// reachability object itself.
struct Delivery {
  std::mutex mutex;
  NetworkReachability::Callback callback;
  std::optional<Queue> queue;
};

// Listens to the kernel's link, address and route announcements on a thread
// of its own and reports each change of the destination's flags.
class ChangeWatcher {
 public:
  static std::unique_ptr<ChangeWatcher> start(std::shared_ptr<const Destination> destination,
                                              std::shared_ptr<Delivery> delivery) {
    FileDescriptor socket = openRouteSocket(kAnnouncementGroups, SOCK_NONBLOCK);
    FileDescriptor wakeUp(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!socket.isValid() || !wakeUp.isValid()) return nullptr;
    return std::unique_ptr<ChangeWatcher>(
        new ChangeWatcher(std::move(socket), std::move(wakeUp), std::move(destination), std::move(delivery)));
  }

  ~ChangeWatcher() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeUp_.get(), &one, sizeof one);
    thread_.join();
  }

  ChangeWatcher(const ChangeWatcher&) = delete;
  ChangeWatcher& operator=(const ChangeWatcher&) = delete;

 private:
  ChangeWatcher(FileDescriptor socket, FileDescriptor wakeUp, std::shared_ptr<const Destination> destination,
                std::shared_ptr<Delivery> delivery)
      : socket_(std::move(socket)),
        wakeUp_(std::move(wakeUp)),
        destination_(std::move(destination)),
        delivery_(std::move(delivery)),
        lastFlags_(destination_->flags()),
        thread_([this] { watch(); }) {}

  void watch() {
    std::array<pollfd, 2> descriptors{pollfd{.fd = socket_.get(), .events = POLLIN, .revents = 0},
                                      pollfd{.fd = wakeUp_.get(), .events = POLLIN, .revents = 0}};
    while (true) {
      if (::poll(descriptors.data(), descriptors.size(), -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (descriptors[1].revents != 0) return;
      if (descriptors[0].revents & (POLLERR | POLLNVAL)) return;
      if (drainAnnouncements()) reportIfChanged();
    }
  }

  // Reads every waiting datagram; true when one announced a change. A lost
  // announcement (the socket overran) counts as a change.
  bool drainAnnouncements() {
    bool changed = false;
    while (true) {
      const ssize_t length = ::recv(socket_.get(), buffer_.data(), buffer_.size(), MSG_DONTWAIT);
      if (length < 0) {
        if (errno == EINTR) continue;
        if (errno == ENOBUFS) {
          changed = true;
          continue;
        }
        return changed;
      }
      const auto messages =
          detail::decodeNetlinkMessages(std::span(buffer_.data(), static_cast<std::size_t>(length)));
      changed = changed || messages.changes > 0 || messages.malformed;
    }
  }

  void reportIfChanged() {
    const std::optional<NetworkReachabilityFlags> flags = destination_->flags();
    if (!flags || flags == lastFlags_) return;
    lastFlags_ = flags;
    std::lock_guard lock(delivery_->mutex);
    if (!delivery_->callback || !delivery_->queue) return;
    delivery_->queue->async([callback = delivery_->callback, value = *flags] { callback(value); });
  }

  FileDescriptor socket_;
  FileDescriptor wakeUp_;
  const std::shared_ptr<const Destination> destination_;
  const std::shared_ptr<Delivery> delivery_;
  std::optional<NetworkReachabilityFlags> lastFlags_;  // Only on the watching thread.
  std::array<std::uint8_t, kReceiveBufferSize> buffer_{};
  std::thread thread_;  // Last: starts once everything it reads is in place.
};

class NetlinkReachability final : public NetworkReachability {
 public:
  explicit NetlinkReachability(Destination destination)
      : destination_(std::make_shared<const Destination>(std::move(destination))),
        delivery_(std::make_shared<Delivery>()) {}

  ~NetlinkReachability() override {
    std::lock_guard lock(watcherMutex_);
    watcher_.reset();
  }

  std::optional<NetworkReachabilityFlags> flags() const override { return destination_->flags(); }

  bool setCallback(Callback callback) override {
    std::lock_guard lock(delivery_->mutex);
    delivery_->callback = std::move(callback);
    return true;
  }

  bool setDispatchQueue(std::optional<Queue> queue) override {
    std::lock_guard lock(watcherMutex_);
    const bool watching = queue.has_value();
    {
      std::lock_guard deliveryLock(delivery_->mutex);
      delivery_->queue = std::move(queue);
    }
    if (!watching) {
      watcher_.reset();
      return true;
    }
    if (!watcher_) watcher_ = ChangeWatcher::start(destination_, delivery_);
    return watcher_ != nullptr;
  }

 private:
  const std::shared_ptr<const Destination> destination_;
  const std::shared_ptr<Delivery> delivery_;
  std::mutex watcherMutex_;
  std::unique_ptr<ChangeWatcher> watcher_;
};

}  // namespace

std::shared_ptr<NetworkReachability> NetworkReachability::createWithName(std::string_view hostName) {
  if (hostName.empty() || hostName.find('\0') != std::string_view::npos) return nullptr;
  return std::make_shared<NetlinkReachability>(Destination{.hostName = std::string(hostName), .address = {}});
}

std::shared_ptr<NetworkReachability> NetworkReachability::createWithAddress(const sockaddr* address,
                                                                            socklen_t length) {
  if (!address) return nullptr;
  const bool isIPv4 = address->sa_family == AF_INET && length >= static_cast<socklen_t>(sizeof(sockaddr_in));
  const bool isIPv6 = address->sa_family == AF_INET6 && length >= static_cast<socklen_t>(sizeof(sockaddr_in6));
  if (!isIPv4 && !isIPv6) return nullptr;
  Destination destination;
  std::memcpy(&destination.address, address, isIPv4 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6));
  return std::make_shared<NetlinkReachability>(std::move(destination));
}

}  // namespace fnd
