// The socket stream against plain loopback peers: settings, TCP and UDP
// clients, a server with clients coming and going, peers that close or reset,
// and Interrupt ending each kind of wait.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "ce/sim/control.h"
#include "ceutil/text.h"
#include "loopback_peer.h"
#include "stream_doubles.h"
#include "test_terminal.h"

namespace {

using namespace qeltest;
using Clock = std::chrono::steady_clock;

std::u16string U(const std::string& s) { return ceutil::FromUtf8(s); }

std::u16string Address(uint16_t port) { return U("127.0.0.1:" + std::to_string(port)); }

// Whether the stream is open: a write of nothing is 0 on an open stream, -1 on a closed one.
bool IsOpen(IQelStream* s) { return s->Write(nullptr, 0, 1) == 0; }

// Reads until a read gives nothing (the far side's end, or a quiet 2 s); the last result.
int32_t ReadUntilNothing(IQelStream* s) {
  char buffer[200];
  int32_t last = 1;
  for (int i = 0; i < 20 && last > 0; ++i) last = s->Read(buffer, sizeof buffer, 2000);
  return last;
}

// Calls Interrupt until `done`; a stream wakes only a wait already in progress.
void InterruptUntil(IQelStream* s, const std::atomic<bool>& done) {
  while (!done) {
    s->Interrupt();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

class SocketStream : public ::testing::Test {
 protected:
  TestTerminal terminal;
  SocketsStarted sockets;
};

struct ConfigureCase {
  const char* what;
  std::vector<const char16_t*> values;
  bool ok;
  const char16_t* address;  // GetAddress afterwards
};

TEST_F(SocketStream, ConfigureReadsProtocolPortAddressAndKeepAlive) {
  const ConfigureCase cases[] = {
      {"udp_dotted_without_port", {u"UDP", u"0", u"10.1.2.3"}, true, u"10.1.2.3:601"},
      {"colon_at_the_end", {u"TCP", u"0", u"host:"}, true, u"host:601"},
      {"colon_and_port", {u"TCP", u"0", u"host:8080"}, true, u"host:8080"},
      {"digits_then_more", {u"TCP", u"0", u"host:80x9"}, true, u"host:80"},
      {"empty_address", {u"TCP", u"0", u""}, false, u":601"},
      {"missing_address_value", {u"TCP", u"0", nullptr}, false, u":601"},
      {"server_needs_none", {u"TCPSERVER", u"8080"}, true, u":601"},
      {"client_needs_one", {u"TCP", u"8080"}, false, u":601"},
      {"protocol_any_case", {u"tcpServer", u"0", u"a:1"}, true, u"a:1"},
      {"empty_protocol_is_tcp", {u"", u"0", u"a:2"}, true, u"a:2"},
      {"unknown_protocol", {u"SCTP", u"0", u"a:3"}, false, u":601"},
      {"one_value", {u"TCP"}, false, u":601"},
      {"port_beyond_16_bits", {u"TCP", u"65536", u"a:5"}, false, u":601"},
      {"keep_alive_given", {u"TCP", u"0", u"a:6", u"0"}, true, u"a:6"},
  };
  for (const ConfigureCase& c : cases) {
    SCOPED_TRACE(c.what);
    StreamPtr s = MakeStream(u"SOCKET");
    ASSERT_TRUE(s);
    EXPECT_EQ(Configure(s.get(), c.values), c.ok);
    EXPECT_EQ(AddressOf(s.get()), c.address);
  }
}

TEST_F(SocketStream, TheFactoryAnswersSocketInAnyCaseAndNothingElse) {
  for (const char16_t* type : {u"SOCKET", u"socket", u"Socket"})
    EXPECT_TRUE(MakeStream(type)) << ceutil::ToUtf8(type);
  for (const char16_t* type : {u"SOCKETS", u"SOCK", u"TCP", u""})
    EXPECT_FALSE(MakeStream(type)) << ceutil::ToUtf8(type);
  for (const qel::StreamType& t : qel::StreamTypes()) t.factory(u"SOCKET", nullptr);  // no crash
}

TEST_F(SocketStream, TcpClientWritesAndReadsAtMost128BytesACall) {
  LoopbackPeer listener = LoopbackPeer::TcpListener();
  StreamPtr s = MakeStream(u"SOCKET");
  ASSERT_TRUE(Configure(s.get(), {u"TCP", u"0", Address(listener.port()).c_str()}));
  s->Open(0);
  EXPECT_FALSE(IsOpen(s.get())) << "Open(0) does nothing";
  s->Open(5000);
  ASSERT_TRUE(IsOpen(s.get()));
  EXPECT_TRUE(s->IsConnected()) << "keep-alive is on by default";
  LoopbackPeer peer = listener.Accept(5000);
  ASSERT_TRUE(peer.valid());

  EXPECT_EQ(s->Write("hello", 5, 1000), 5);
  EXPECT_EQ(s->Write("late", 4, 0), -1) << "a time-out of 0 writes nothing";
  EXPECT_EQ(peer.ReceiveAll(5, 5000), "hello");

  const std::string sent(300, 'x');
  ASSERT_TRUE(peer.Send(sent));
  EXPECT_EQ(s->Read(nullptr, 10, 2000), 0) << "no buffer, nothing taken";
  std::string got;
  for (int i = 0; i < 10 && got.size() < sent.size(); ++i) {
    const std::string part = ReadSome(s.get(), 1000, 2000);
    EXPECT_LE(part.size(), 128u);
    got += part;
  }
  EXPECT_EQ(got, sent);
  EXPECT_EQ(AddressOf(s.get()), Address(listener.port()));
}

TEST_F(SocketStream, KeepAliveOffIsWhatIsConnectedReports) {
  LoopbackPeer listener = LoopbackPeer::TcpListener();
  StreamPtr s = MakeStream(u"SOCKET");
  ASSERT_TRUE(Configure(s.get(), {u"TCP", u"0", Address(listener.port()).c_str(), u"false"}));
  s->Open(5000);
  ASSERT_TRUE(IsOpen(s.get()));
  EXPECT_FALSE(s->IsConnected());
}

TEST_F(SocketStream, UdpSendsFromItsLocalPortAndReadsWhatComesBack) {
  LoopbackPeer peer = LoopbackPeer::Udp();
  const uint16_t local = UnusedPort();
  StreamPtr s = MakeStream(u"SOCKET");
  ASSERT_TRUE(Configure(s.get(), {u"UDP", U(std::to_string(local)).c_str(), Address(peer.port()).c_str()}));
  s->Open(1000);
  ASSERT_TRUE(IsOpen(s.get()));
  ASSERT_EQ(s->Write("ping", 4, 1000), 4);
  uint16_t from = 0;
  bool got = false;
  EXPECT_EQ(peer.ReceiveFrom(5000, &from, &got), "ping");
  EXPECT_TRUE(got);
  EXPECT_EQ(from, local);
  ASSERT_TRUE(peer.SendTo("pong", local));
  EXPECT_EQ(ReadSome(s.get(), 100, 5000), "pong");
}

TEST_F(SocketStream, ConnectTriesEachAddressOfANameInTurn) {
  // Nobody listens on 127.0.0.2, which refuses at once; the second address answers.
  LoopbackPeer listener = LoopbackPeer::TcpListener("127.0.0.1");
  terminal.Set("network.resolver.twohomed", {"127.0.0.2", "127.0.0.1"});
  StreamPtr s = MakeStream(u"SOCKET");
  ASSERT_TRUE(Configure(s.get(), {u"TCP", u"0", U("twohomed:" + std::to_string(listener.port())).c_str()}));
  s->Open(5000);
  ASSERT_TRUE(IsOpen(s.get()));
  EXPECT_TRUE(listener.Accept(5000).valid());

  StreamPtr refused = MakeStream(u"SOCKET");
  ASSERT_TRUE(Configure(refused.get(), {u"TCP", u"0", Address(UnusedPort()).c_str()}));
  refused->Open(2000);
  EXPECT_FALSE(IsOpen(refused.get()));
  StreamPtr unknown = MakeStream(u"SOCKET");
  ASSERT_TRUE(Configure(unknown.get(), {u"TCP", u"0", u"no-such-host.invalid:80"}));
  unknown->Open(2000);
  EXPECT_FALSE(IsOpen(unknown.get()));
}

struct PeerEnd {
  const char* what;
  bool reset;
};

TEST_F(SocketStream, APeerThatClosesOrResetsClosesTheClient) {
  for (const PeerEnd& end : {PeerEnd{"orderly", false}, PeerEnd{"reset", true}}) {
    SCOPED_TRACE(end.what);
    LoopbackPeer listener = LoopbackPeer::TcpListener();
    StreamPtr s = MakeStream(u"SOCKET");
    ASSERT_TRUE(Configure(s.get(), {u"TCP", u"0", Address(listener.port()).c_str()}));
    s->Open(5000);
    LoopbackPeer peer = listener.Accept(5000);
    ASSERT_TRUE(peer.valid());
    ASSERT_TRUE(peer.Send(std::string(1000, 'y')));
    EXPECT_EQ(ReadSome(s.get(), 200, 2000).size(), 128u);  // in the middle of the transfer
    if (end.reset)
      peer.Reset();
    else
      peer.Close();
    EXPECT_LE(ReadUntilNothing(s.get()), 0);
    EXPECT_FALSE(IsOpen(s.get()));
    char buffer[16];
    EXPECT_EQ(s->Read(buffer, sizeof buffer, 10), 0) << "a closed stream reads nothing";
    EXPECT_EQ(s->Write("x", 1, 100), -1);
    EXPECT_FALSE(s->Reset());

    s->Open(5000);  // again, on what the first connection left
    EXPECT_TRUE(IsOpen(s.get()));
    EXPECT_TRUE(listener.Accept(5000).valid());
  }
}

TEST_F(SocketStream, ResetDiscardsWhatIsWaiting) {
  LoopbackPeer listener = LoopbackPeer::TcpListener();
  StreamPtr s = MakeStream(u"SOCKET");
  ASSERT_TRUE(Configure(s.get(), {u"TCP", u"0", Address(listener.port()).c_str()}));
  s->Open(5000);
  LoopbackPeer peer = listener.Accept(5000);
  ASSERT_TRUE(peer.valid());
  ASSERT_TRUE(peer.Send(std::string(500, 'z')));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // on loopback, sent is arrived
  EXPECT_TRUE(s->Reset());
  EXPECT_EQ(ReadSome(s.get(), 100, 100), "");
  ASSERT_TRUE(peer.Send("after"));
  EXPECT_EQ(ReadSome(s.get(), 100, 5000), "after");
}

TEST_F(SocketStream, AServerServesOneClientAfterAnother) {
  const uint16_t port = UnusedPort();
  StreamPtr s = MakeStream(u"SOCKET");
  ASSERT_TRUE(Configure(s.get(), {u"TCPSERVER", U(std::to_string(port)).c_str()}));
  s->Open(1000);
  ASSERT_TRUE(IsOpen(s.get()));
  EXPECT_EQ(ReadSome(s.get(), 10, 50), "") << "no client yet";
  EXPECT_FALSE(s->IsConnected());

  for (const char* name : {"first", "second"}) {
    SCOPED_TRACE(name);
    LoopbackPeer client = LoopbackPeer::TcpClient(port);
    ASSERT_TRUE(client.valid());
    ASSERT_TRUE(client.Send(name));
    std::string got;
    for (int i = 0; i < 50 && got.empty(); ++i) got = ReadSome(s.get(), 100, 200);
    EXPECT_EQ(got, name);
    EXPECT_EQ(s->Write("ok", 2, 1000), 2);
    EXPECT_EQ(client.ReceiveAll(2, 5000), "ok");
    client.Close();
    EXPECT_LE(ReadUntilNothing(s.get()), 0);
    EXPECT_TRUE(IsOpen(s.get())) << "the server stays open for the next client";
  }
  EXPECT_TRUE(s->Close());
  EXPECT_FALSE(LoopbackPeer::TcpClient(port).valid()) << "closed, it listens no more";
}

TEST_F(SocketStream, InterruptEndsAConnectThatGetsNoAnswer) {
  // The listener's one place is taken, and it accepts nobody: later connects wait.
  LoopbackPeer listener = LoopbackPeer::TcpListener("127.0.0.1", 0);
  std::vector<LoopbackPeer> queued;
  for (int i = 0; i < 3; ++i) queued.push_back(LoopbackPeer::TcpConnectStarted(listener.port()));
  StreamPtr s = MakeStream(u"SOCKET");
  ASSERT_TRUE(Configure(s.get(), {u"TCP", u"0", Address(listener.port()).c_str()}));
  std::atomic<bool> done{false};
  std::thread interrupter([&] { InterruptUntil(s.get(), done); });
  const auto start = Clock::now();
  s->Open(60000);
  done = true;
  interrupter.join();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(30)) << "ended by the interrupt, not the time-out";
  EXPECT_FALSE(IsOpen(s.get())) << "an interrupted connect leaves the stream closed";
}

// Clients that come and go replace one another; the reader sees ends and
// nothing, never a failure (a client that resets is one), and the server
// stays open.
TEST_F(SocketStream, ClientsComingAndGoingFastLeaveTheServerOpen) {
  const uint16_t port = UnusedPort();
  StreamPtr s = MakeStream(u"SOCKET");
  ASSERT_TRUE(Configure(s.get(), {u"TCPSERVER", U(std::to_string(port)).c_str()}));
  s->Open(1000);
  ASSERT_TRUE(IsOpen(s.get()));
  std::atomic<bool> done{false};
  std::atomic<int> failures{0};
  std::thread reader([&] {
    char buffer[64];
    while (!done)
      if (s->Read(buffer, sizeof buffer, 50) < 0) ++failures;
  });
  for (int i = 0; i < 30; ++i) {
    LoopbackPeer client = LoopbackPeer::TcpClient(port);
    ASSERT_TRUE(client.valid()) << i;
    client.Send("x");
  }
  done = true;
  reader.join();
  EXPECT_EQ(failures, 0);
  EXPECT_TRUE(IsOpen(s.get()));
}

enum class Wait { kClient, kData, kRoom };

struct InterruptCase {
  const char* what;
  Wait wait;
};

// Each wait ends at the Interrupt, long before its own time-out.
TEST_F(SocketStream, InterruptEndsEachKindOfWait) {
  for (const InterruptCase& c :
       {InterruptCase{"waiting_for_a_client", Wait::kClient}, InterruptCase{"waiting_for_data", Wait::kData},
        InterruptCase{"waiting_for_room_to_write", Wait::kRoom}}) {
    SCOPED_TRACE(c.what);
    LoopbackPeer listener = LoopbackPeer::TcpListener();
    const uint16_t port = UnusedPort();
    StreamPtr s = MakeStream(u"SOCKET");
    if (c.wait == Wait::kClient)
      ASSERT_TRUE(Configure(s.get(), {u"TCPSERVER", U(std::to_string(port)).c_str()}));
    else
      ASSERT_TRUE(Configure(s.get(), {u"TCP", u"0", Address(listener.port()).c_str()}));
    s->Open(5000);
    ASSERT_TRUE(IsOpen(s.get()));
    LoopbackPeer peer = c.wait == Wait::kClient ? LoopbackPeer() : listener.Accept(5000);

    std::atomic<bool> done{false};
    std::thread interrupter([&] { InterruptUntil(s.get(), done); });
    const auto start = Clock::now();
    int32_t result = -2;
    if (c.wait == Wait::kRoom) {
      const std::string big(64 << 20, 'w');  // more than the peer, who never reads, can take
      result = s->Write(big.data(), uint32_t(big.size()), 60000);
      EXPECT_GT(result, 0);
      EXPECT_LT(result, int32_t(big.size()));
    } else {
      char buffer[16];
      result = s->Read(buffer, sizeof buffer, 60000);
      EXPECT_EQ(result, 0);
    }
    done = true;
    interrupter.join();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30)) << "ended by the interrupt, not the time-out";
    EXPECT_TRUE(IsOpen(s.get())) << "an interrupted stream stays open";
  }
}

}  // namespace
