#include <gtest/gtest.h>
#include <sdbus-c++/sdbus-c++.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "foundation/dictionary.h"
#include "foundation/ipc/archived_argument.h"
#include "foundation/ipc/connection.h"
#include "foundation/ipc/ipc_error.h"
#include "foundation/ipc/ipc_log.h"
#include "foundation/ipc/listener.h"
#include "foundation/ipc/outbox.h"
#include "foundation/ipc/tests/ipc_test_support.h"
#include "foundation/ipc/wire.h"
#include "foundation/keyed_archiver.h"
#include "foundation/keyed_unarchiver.h"
#include "foundation/number.h"
#include "foundation/string.h"

namespace fnd::ipc {
namespace {

using testing::Inbox;

std::string uniqueServiceName(const char* what) {
  static std::atomic<int> counter{0};
  return std::string("com.korvia.test.ipc.") + what + std::to_string(::getpid()) + "x" + std::to_string(++counter);
}

// "echo" answers its argument; "note" is one-way.
std::shared_ptr<Interface> echoInterface(Interface::ClassList argumentClasses, Interface::ClassList replyClasses) {
  auto interface = Interface::create("com.korvia.test.Echo");
  interface->addMethod("echo", 1, 1).addMethod("note", 1, std::nullopt);
  interface->setClasses(argumentClasses, "echo", 0, false);
  interface->setClasses(replyClasses, "echo", 0, true);
  interface->setClasses(argumentClasses, "note", 0, false);
  return interface;
}

class EchoObject : public ExportedObject {
 public:
  // What to answer instead of the argument, when set.
  Value answer;
  Inbox<Value> received;
  Inbox<Value> notes;

  void invokeMethod(const std::shared_ptr<Connection>& connection, const std::string& method,
                    std::vector<Value> arguments, Reply reply) override {
    EXPECT_TRUE(connection->queue().isCurrent());
    if (method == "note") {
      notes.put(arguments[0]);
      return;
    }
    received.put(arguments[0]);
    reply({answer ? answer : arguments[0]});
  }
};

class AcceptingDelegate : public ListenerDelegate {
 public:
  std::weak_ptr<ExportedObject> object;
  bool accept = true;
  std::atomic<int> asked{0};

  bool listenerShouldAcceptNewConnection(Listener&, const std::shared_ptr<Connection>& connection) override {
    ++asked;
    if (!accept) return false;
    connection->setExportedObject(object);
    connection->resume();
    return true;
  }
};

struct CallResult {
  std::optional<Value> value;
  std::optional<Error> error;
};

class IpcTest : public ::testing::Test {
 protected:
  void SetUp() override { FND_REQUIRE_SESSION_BUS(); }

  void publish(std::shared_ptr<Interface> exported) {
    serviceName = uniqueServiceName("echo");
    delegate->object = object;
    auto made = Listener::createWithServiceName(serviceName, std::move(exported));
    ASSERT_TRUE(made) << made.error().description();
    listener = *made;
    listener->setDelegate(delegate);
    ASSERT_TRUE(listener->resume());
  }

  std::shared_ptr<Connection> connect(std::shared_ptr<Interface> remote) {
    auto made = Connection::createWithServiceName(serviceName);
    EXPECT_TRUE(made);
    auto connection = *made;
    connection->setRemoteObjectInterface(std::move(remote));
    connection->resume();
    return connection;
  }

  static CallResult call(const std::shared_ptr<Connection>& connection, const Value& argument) {
    auto inbox = std::make_shared<Inbox<CallResult>>();
    connection->remoteObjectProxyWithErrorHandler([inbox](const Error& error) { inbox->put({std::nullopt, error}); })
        .invoke("echo", {argument}, [inbox](std::vector<Value> reply) { inbox->put({reply.at(0), std::nullopt}); });
    auto result = inbox->first();
    EXPECT_TRUE(result.has_value()) << "no answer";
    EXPECT_TRUE(inbox->waitForCount(2, std::chrono::milliseconds(20)) == false) << "answered twice";
    return result.value_or(CallResult{});
  }

  std::string serviceName;
  std::shared_ptr<EchoObject> object = std::make_shared<EchoObject>();
  std::shared_ptr<AcceptingDelegate> delegate = std::make_shared<AcceptingDelegate>();
  std::shared_ptr<Listener> listener;
};

TEST(IpcEndpoint, ArchivesAndRejectsForgedParts) {
  auto endpoint = Endpoint::make(":1.42", "/com/korvia/ipc/listener/3");
  auto bytes = KeyedArchiver::archivedDataWithRootObject(Value(endpoint));
  ASSERT_TRUE(bytes);
  auto decoded = KeyedUnarchiver::unarchivedObjectOfClass(Endpoint::staticClass(), *bytes);
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->isEqual(Value(endpoint)));

  EXPECT_FALSE(Endpoint::isValidUniqueName("com.korvia.Service"));  // well-known, not unique
  EXPECT_FALSE(Endpoint::isValidUniqueName(":1."));
  EXPECT_FALSE(Endpoint::isValidObjectPath("/a//b"));
  EXPECT_FALSE(Endpoint::isValidObjectPath("/a/"));
  EXPECT_TRUE(Endpoint::isValidObjectPath("/"));
}

TEST_F(IpcTest, CallsAnswerWithTheDecodedReply) {
  const Interface::ClassList classes = {&Dictionary::staticClass(), &String::staticClass(), &Number::staticClass()};
  publish(echoInterface(classes, classes));
  auto connection = connect(echoInterface(classes, classes));
  auto payload = Dictionary::make({{Value("tier"), Value("KorviaInstaller")}, {Value("count"), Value(7)}});
  auto result = call(connection, Value(payload));
  ASSERT_TRUE(result.value) << (result.error ? result.error->description() : "");
  EXPECT_TRUE(result.value->isEqual(Value(payload)));
  ASSERT_TRUE(object->received.first());
  EXPECT_EQ(delegate->asked, 1);
  // One admission per peer, not per call.
  ASSERT_TRUE(call(connection, Value("again")).value);
  EXPECT_EQ(delegate->asked, 1);
}

TEST_F(IpcTest, ArgumentOutsideTheWhitelistNeverReachesTheObject) {
  publish(echoInterface({&String::staticClass()}, {&String::staticClass()}));
  // The caller believes numbers are fine; the receiver's whitelist decides.
  auto connection = connect(echoInterface({&String::staticClass(), &Number::staticClass()}, {&String::staticClass()}));
  auto rejected = call(connection, Value(12));
  ASSERT_TRUE(rejected.error);
  EXPECT_TRUE(isDecodingError(*rejected.error)) << rejected.error->description();
  EXPECT_EQ(object->received.size(), 0u);
  // The server keeps serving the same peer.
  auto accepted = call(connection, Value("fine"));
  ASSERT_TRUE(accepted.value);
  EXPECT_EQ(accepted.value->stringValue(), "fine");
}

TEST_F(IpcTest, ReplyOutsideTheWhitelistIsADecodingError) {
  publish(echoInterface({&String::staticClass()}, {&Number::staticClass()}));
  object->answer = Value(5);
  auto connection = connect(echoInterface({&String::staticClass()}, {&String::staticClass()}));
  auto result = call(connection, Value("question"));
  ASSERT_TRUE(result.error);
  EXPECT_TRUE(isDecodingError(*result.error)) << result.error->description();
}

TEST_F(IpcTest, GarbageBytesGetTheDecodingErrorAndNoCall) {
  publish(echoInterface({&String::staticClass()}, {&String::staticClass()}));
  auto bus = Bus::shared();
  ASSERT_TRUE(bus);
  auto raw = sdbus::createProxy((*bus)->connection(), serviceName, Listener::objectPathForServiceName(serviceName));
  const std::vector<std::vector<std::uint8_t>> garbage = {
      {},
      {0x62, 0x70, 0x6c, 0x69, 0x73, 0x74, 0x30, 0x30, 0xff, 0xff},  // a truncated binary plist
      {0xde, 0xad, 0xbe, 0xef, 0x00, 0x01}};
  for (const auto& bytes : garbage) {
    auto inbox = std::make_shared<Inbox<std::string>>();
    auto message = raw->createMethodCall("com.korvia.test.Echo", "echo");
    message << bytes;
    (void)raw->callMethod(message, [inbox](sdbus::MethodReply&, const sdbus::Error* error) {
      inbox->put(error ? error->getName() : std::string("replied"));
    }, std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(inbox->first(), std::string(kBusErrorDecoding));
  }
  EXPECT_EQ(object->received.size(), 0u);
}

TEST_F(IpcTest, PeersOfAnotherUserAreRejectedAndLogged) {
  publish(echoInterface({&String::staticClass()}, {&String::staticClass()}));
  listener->setUserLookupForTesting([](const std::string&) -> Expected<uid_t> { return ::geteuid() + 1; });
  auto logged = std::make_shared<Inbox<std::string>>();
  setLogHandler([logged](LogLevel level, const std::string& message) {
    if (level == LogLevel::error) logged->put(message);
  });
  auto connection = connect(echoInterface({&String::staticClass()}, {&String::staticClass()}));
  auto result = call(connection, Value("let me in"));
  setLogHandler(nullptr);
  ASSERT_TRUE(result.error);
  EXPECT_TRUE(isInvalidError(*result.error)) << result.error->description();
  EXPECT_EQ(object->received.size(), 0u);
  EXPECT_EQ(delegate->asked, 0);
  auto line = logged->first();
  ASSERT_TRUE(line);
  EXPECT_NE(line->find("runs as user"), std::string::npos) << *line;
}

TEST_F(IpcTest, ARejectingDelegateInvalidatesTheCaller) {
  delegate->accept = false;
  publish(echoInterface({&String::staticClass()}, {&String::staticClass()}));
  auto connection = connect(echoInterface({&String::staticClass()}, {&String::staticClass()}));
  auto invalidated = std::make_shared<Inbox<bool>>();
  connection->setInvalidationHandler([invalidated] { invalidated->put(true); });
  auto result = call(connection, Value("hello"));
  ASSERT_TRUE(result.error);
  EXPECT_TRUE(isInvalidError(*result.error));
  EXPECT_TRUE(invalidated->first());
  EXPECT_FALSE(connection->isValid());
  // Later calls fail at once with the same error.
  auto later = call(connection, Value("again"));
  ASSERT_TRUE(later.error);
  EXPECT_TRUE(isInvalidError(*later.error));
}

TEST_F(IpcTest, AnonymousListenerTakesOneWayCallsInOrderThroughItsEndpoint) {
  delegate->object = object;
  auto made = Listener::anonymousListener(echoInterface({&Number::staticClass()}, {&Number::staticClass()}));
  ASSERT_TRUE(made);
  listener = *made;
  listener->setDelegate(delegate);
  ASSERT_TRUE(listener->resume());
  auto endpoint = listener->endpoint();
  ASSERT_TRUE(endpoint);

  // The endpoint travels as an archive, as it does inside a call.
  auto bytes = KeyedArchiver::archivedDataWithRootObject(Value(endpoint));
  ASSERT_TRUE(bytes);
  auto decoded = KeyedUnarchiver::unarchivedObjectOfClass(Endpoint::staticClass(), *bytes);
  ASSERT_TRUE(decoded);
  auto connection = Connection::createWithEndpoint(*decoded->as<Endpoint>());
  ASSERT_TRUE(connection);
  (*connection)->setRemoteObjectInterface(echoInterface({&Number::staticClass()}, {&Number::staticClass()}));
  (*connection)->resume();
  auto proxy = (*connection)->remoteObjectProxyWithErrorHandler([](const Error& error) {
    ADD_FAILURE() << error.description();
  });
  constexpr int kCount = 200;
  for (int i = 0; i < kCount; ++i) proxy.invoke("note", {Value(i)});
  ASSERT_TRUE(object->notes.waitForCount(kCount));
  auto notes = object->notes.items();
  for (int i = 0; i < kCount; ++i) EXPECT_EQ(notes[i].integerValue(), i);

  // A listener that is gone invalidates the connection at the next call.
  auto invalidated = std::make_shared<Inbox<bool>>();
  (*connection)->setInvalidationHandler([invalidated] { invalidated->put(true); });
  listener->invalidate();
  auto result = call(*connection, Value(1));
  ASSERT_TRUE(result.error);
  EXPECT_TRUE(isInvalidError(*result.error)) << result.error->description();
  EXPECT_TRUE(invalidated->first());
}

TEST_F(IpcTest, ACallSentAfterOneWayCallsArrivesAfterThemAll) {
  publish(echoInterface({&Number::staticClass(), &String::staticClass()}, {&String::staticClass()}));
  auto connection = connect(echoInterface({&Number::staticClass(), &String::staticClass()}, {&String::staticClass()}));
  auto proxy = connection->remoteObjectProxyWithErrorHandler([](const Error& error) { ADD_FAILURE() << error.description(); });
  // More than one batch holds, so they also travel in several messages.
  const int count = static_cast<int>(Outbox::kMaximumBatchCalls) * 2 + 17;
  for (int i = 0; i < count; ++i) proxy.invoke("note", {Value(i)});
  ASSERT_TRUE(call(connection, Value("after")).value);
  // The reply came back after the object had taken every earlier note.
  auto notes = object->notes.items();
  ASSERT_EQ(notes.size(), static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) EXPECT_EQ(notes[i].integerValue(), i);
}

// An argument archived in advance arrives as its value and is held to the
// receiver's whitelist like any other.
TEST_F(IpcTest, AnArgumentArchivedInAdvanceArrivesAsItsValue) {
  publish(echoInterface({&String::staticClass()}, {&String::staticClass()}));
  auto connection = connect(echoInterface({&String::staticClass(), &Number::staticClass()}, {&String::staticClass()}));
  auto archived = ArchivedArgument::archive(Value("twice"));
  ASSERT_TRUE(archived);
  for (int i = 0; i < 2; ++i) {
    auto result = call(connection, Value(*archived));
    ASSERT_TRUE(result.value) << (result.error ? result.error->description() : "");
    EXPECT_EQ(result.value->stringValue(), "twice");
  }
  auto number = ArchivedArgument::archive(Value(12));
  ASSERT_TRUE(number);
  auto rejected = call(connection, Value(*number));
  ASSERT_TRUE(rejected.error);
  EXPECT_TRUE(isDecodingError(*rejected.error)) << rejected.error->description();
  EXPECT_EQ(object->received.size(), 2u);
}

// A message far larger than the socket takes at once leaves in pieces and
// arrives whole, one-way and both ways.
TEST_F(IpcTest, MessagesLargerThanTheSocketBufferArriveWhole) {
  publish(echoInterface({&Number::staticClass(), &String::staticClass()}, {&String::staticClass()}));
  auto connection = connect(echoInterface({&Number::staticClass(), &String::staticClass()}, {&String::staticClass()}));
  auto proxy = connection->remoteObjectProxyWithErrorHandler([](const Error& error) { ADD_FAILURE() << error.description(); });
  const std::string large(8 << 20, 'x');
  proxy.invoke("note", {Value(large)});
  ASSERT_TRUE(object->notes.waitForCount(1, std::chrono::seconds(20)));
  EXPECT_EQ(object->notes.items()[0].stringValue(), large);

  auto replies = std::make_shared<Inbox<Value>>();
  proxy.invoke("echo", {Value(large)}, [replies](std::vector<Value> reply) { replies->put(reply.at(0)); });
  auto echoed = replies->first(std::chrono::seconds(20));
  ASSERT_TRUE(echoed.has_value());
  EXPECT_EQ(echoed->stringValue(), large);
}

TEST_F(IpcTest, ABatchDeliversOnlyWhatCouldHaveComeAloneAndTheServerKeepsServing) {
  publish(echoInterface({&Number::staticClass()}, {&Number::staticClass()}));
  auto logged = std::make_shared<Inbox<std::string>>();
  setLogHandler([logged](LogLevel level, const std::string& message) {
    if (level == LogLevel::error) logged->put(message);
  });
  auto archive = [](const Value& value) { return *KeyedArchiver::archivedDataWithRootObject(value); };
  const std::vector<wire::BatchedCall> calls = {
      {"note", {archive(Value(1))}},
      {"echo", {archive(Value(2))}},                    // answers, so it never travels in a batch
      {"note", {archive(Value(3)), archive(Value(4))}},  // one argument too many
      {"shout", {archive(Value(5))}},                   // not in the interface
      {"note", {{0xde, 0xad, 0xbe, 0xef}}},             // not an archive
      {"note", {archive(Value("six"))}},                // outside the whitelist
      {"note", {archive(Value(7))}}};
  std::vector<const wire::BatchedCall*> pointers;
  for (const auto& entry : calls) pointers.push_back(&entry);
  auto bus = Bus::shared();
  ASSERT_TRUE(bus);
  auto raw = sdbus::createProxy((*bus)->connection(), serviceName, Listener::objectPathForServiceName(serviceName));
  auto batch = raw->createMethodCall(wire::kBatchInterface, wire::kBatchMember);
  wire::appendBatch(batch, "com.korvia.test.Echo", pointers);
  batch.dontExpectReply();
  (void)raw->callMethod(batch);
  // The same calls addressed to an interface the object does not export.
  auto misaddressed = raw->createMethodCall(wire::kBatchInterface, wire::kBatchMember);
  wire::appendBatch(misaddressed, "com.korvia.test.Other", pointers);
  misaddressed.dontExpectReply();
  (void)raw->callMethod(misaddressed);
  // A body of another shape is turned away by the bus library itself.
  auto misshapen = raw->createMethodCall(wire::kBatchInterface, wire::kBatchMember);
  misshapen << std::string("note");
  auto refusal = std::make_shared<Inbox<std::string>>();
  (void)raw->callMethod(misshapen, [refusal](sdbus::MethodReply&, const sdbus::Error* error) {
    refusal->put(error ? error->getName() : std::string("accepted"));
  }, std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(refusal->first(), std::string("org.freedesktop.DBus.Error.InvalidArgs"));

  auto connection = connect(echoInterface({&Number::staticClass()}, {&Number::staticClass()}));
  ASSERT_TRUE(call(connection, Value(8)).value);
  setLogHandler(nullptr);
  auto notes = object->notes.items();
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0].integerValue(), 1);
  EXPECT_EQ(notes[1].integerValue(), 7);
  // Only the echo of the last call reached the object as a call.
  auto received = object->received.items();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].integerValue(), 8);
  const auto lines = logged->items();
  auto mentions = [&](const std::string& text) {
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
      return line.find(text) != std::string::npos;
    });
  };
  EXPECT_EQ(mentions("Rejected a batched call of echo"), 1);
  EXPECT_EQ(mentions("Rejected a batched call of note"), 1);
  EXPECT_EQ(mentions("Rejected a batched call of shout"), 1);
  EXPECT_EQ(mentions("Rejected a call of note"), 2);
  EXPECT_EQ(mentions("does not export com.korvia.test.Other"), 1);
}

TEST_F(IpcTest, ANameNobodyCanStartInvalidatesTheConnection) {
  serviceName = uniqueServiceName("nobody");
  auto connection = connect(echoInterface({&String::staticClass()}, {&String::staticClass()}));
  auto result = call(connection, Value("anyone?"));
  ASSERT_TRUE(result.error);
  EXPECT_TRUE(isInvalidError(*result.error)) << result.error->description();
}

TEST_F(IpcTest, ASecondListenerCannotTakeAnOwnedName) {
  publish(echoInterface({&String::staticClass()}, {&String::staticClass()}));
  auto second = Listener::createWithServiceName(serviceName, echoInterface({}, {}));
  ASSERT_TRUE(second);
  auto resumed = (*second)->resume();
  ASSERT_FALSE(resumed);
  EXPECT_TRUE(isInvalidError(resumed.error()));
}

}  // namespace
}  // namespace fnd::ipc
