// CSocket and the frame sender over real TCP connections on the loopback interface.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "transport/frame_io.h"
#include "transport/socket.h"
#include "transport/wire_frame.h"

namespace {

// A listening socket on a free port of this machine.
std::unique_ptr<CSocket> Listen(int* port) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    *port = 20000 + static_cast<int>(random() % 30000);
    try {
      return std::unique_ptr<CSocket>(new CSocket(*port));
    } catch (const CSocketException&) {
    }
  }
  return nullptr;
}

std::string ThrownText(const char* host, int port) {
  try {
    CSocket s(host, port);
  } catch (const CSocketException& e) {
    return e.Text();
  }
  return "(nothing thrown)";
}

// Everything the peer sends until it closes.
std::string ReceiveToEnd(CSocket& s) {
  std::string all;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    int n = s.Receive(buffer.data(), static_cast<int>(buffer.size()), false);
    if (n <= 0) return all;
    all.append(buffer.data(), static_cast<std::size_t>(n));
  }
}

class Sockets : public ::testing::Test {
 protected:
  void SetUp() override {
    listener = Listen(&port);
    ASSERT_TRUE(listener) << "no free port for a listener";
  }
  std::unique_ptr<CSocket> Accept() { return std::unique_ptr<CSocket>(listener->Accept()); }

  int port = 0;
  std::unique_ptr<CSocket> listener;
};

TEST_F(Sockets, DottedAddressConnectsAndTheServerSeesTheClient) {
  CSocket client("127.0.0.1", port);
  EXPECT_NE(kInvalidSocket, client.handle);
  EXPECT_EQ(htons(static_cast<unsigned short>(port)), client.address.sin_port);
  EXPECT_EQ(htonl(0x7F000001u), client.address.sin_addr.s_addr);

  std::unique_ptr<CSocket> server = Accept();
  ASSERT_TRUE(server);
  EXPECT_EQ(0x7F000001ul, server->peerAddress);

  unsigned char word[4];
  wire::EncodeLength(0x01020304u, word);
  EXPECT_EQ(4, client.Send(word, 4));
  unsigned char got[4] = {0, 0, 0, 0};
  EXPECT_EQ(4, server->Receive(got, 4, true));
  EXPECT_EQ(0x01020304u, wire::DecodeLength(got));
  EXPECT_EQ(4u, got[0]);  // little-endian on the wire

  // The client closes; the server sees the end of the connection.
  client.Close();
  EXPECT_EQ(0, server->Receive(got, 4, true));
}

TEST_F(Sockets, HostNameIsResolved) {
  CSocket client("localhost", port);
  EXPECT_EQ(htonl(0x7F000001u), client.address.sin_addr.s_addr);
  std::unique_ptr<CSocket> server = Accept();
  ASSERT_TRUE(server);
}

TEST_F(Sockets, ConnectFailuresThrowTheirTexts) {
  EXPECT_EQ("Invalid parameters", ThrownText(nullptr, port));
  EXPECT_EQ("Unable to solve this address", ThrownText("no-such-printer-host.invalid", port));

  // A port number beyond 16 bits is not cut down to some other port.
  EXPECT_EQ("connect() failed", ThrownText("127.0.0.1", port + 65536));

  // A port with no listener refuses the connection.
  int freePort = port;
  listener.reset();
  EXPECT_EQ("connect() failed", ThrownText("127.0.0.1", freePort));

  // Nor does a listener bind some other port than it was given.
  try {
    CSocket wrapped(freePort + 65536);
    ADD_FAILURE() << "a listener bound port " << freePort + 65536 << " as " << freePort;
  } catch (const CSocketException& e) {
    EXPECT_STREQ("bind() failed", e.Text());
  }
}

TEST_F(Sockets, BindingAPortInUseFails) {
  try {
    CSocket second(port);
    FAIL() << "a second listener bound port " << port;
  } catch (const CSocketException& e) {
    EXPECT_STREQ("bind() failed", e.Text());
  }
  // The first listener still works.
  CSocket client("127.0.0.1", port);
  EXPECT_TRUE(Accept());
}

TEST_F(Sockets, EmptyOrNullBuffersAreRefusedWithoutACall) {
  CSocket client("127.0.0.1", port);
  std::unique_ptr<CSocket> server = Accept();
  ASSERT_TRUE(server);
  char byte = 'x';
  EXPECT_EQ(-1, client.Send(&byte, 0));
  EXPECT_EQ(-1, client.Send(nullptr, 1));
  EXPECT_EQ(-1, client.Send(&byte, -5));
  EXPECT_EQ(-1, server->Receive(&byte, 0, true));
  EXPECT_EQ(-1, server->Receive(nullptr, 4, false));
  EXPECT_EQ(-1, server->Receive(&byte, -1, false));
  // Nothing was sent by the refused calls: the first byte to arrive is the real one.
  EXPECT_EQ(1, client.Send("y", 1));
  EXPECT_EQ(1, server->Receive(&byte, 1, true));
  EXPECT_EQ('y', byte);
}

TEST_F(Sockets, ReceiveWithoutWaitAllReturnsWhatHasArrived) {
  CSocket client("127.0.0.1", port);
  std::unique_ptr<CSocket> server = Accept();
  ASSERT_TRUE(server);
  EXPECT_EQ(2, client.Send("\x05\x00", 2));
  char got[4];
  int n = server->Receive(got, 4, false);
  EXPECT_GE(n, 1);
  EXPECT_LE(n, 2);  // the other two bytes have not been sent yet
  EXPECT_EQ(2, client.Send("\x00\x00", 2));
  EXPECT_EQ(4 - n, server->Receive(got + n, 4 - n, true));
}

TEST_F(Sockets, WaitAllCollectsBytesThatDribbleIn) {
  CSocket client("127.0.0.1", port);
  std::unique_ptr<CSocket> server = Accept();
  ASSERT_TRUE(server);
  std::thread sender([&client] {
    for (char c : std::string("\x10\x20\x30\x40")) {
      client.Send(&c, 1);
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
  });
  unsigned char got[4] = {0, 0, 0, 0};
  EXPECT_EQ(4, server->Receive(got, 4, true));
  sender.join();
  EXPECT_EQ(0x40302010u, wire::DecodeLength(got));
}

TEST_F(Sockets, WaitAllEndsShortWhenThePeerCloses) {
  auto client = std::unique_ptr<CSocket>(new CSocket("127.0.0.1", port));
  std::unique_ptr<CSocket> server = Accept();
  ASSERT_TRUE(server);
  EXPECT_EQ(2, client->Send("ab", 2));
  client.reset();  // the destructor closes
  char got[4];
  EXPECT_EQ(2, server->Receive(got, 4, true));
  EXPECT_EQ(0, server->Receive(got, 4, true));
}

TEST_F(Sockets, ReceiveTimeoutEndsAWaitOnASilentClient) {
  CSocket client("127.0.0.1", port);
  std::unique_ptr<CSocket> server = Accept();
  ASSERT_TRUE(server);
  ASSERT_TRUE(server->SetReceiveTimeout(200));
  char got[4];
  EXPECT_EQ(-1, server->Receive(got, 4, true));
  EXPECT_FALSE(server->SetReceiveTimeout(-1));
}

TEST_F(Sockets, CloseIsSafeTwiceAndAcceptOnAClosedListenerFails) {
  CSocket client("127.0.0.1", port);
  client.Close();
  EXPECT_EQ(kInvalidSocket, client.handle);
  client.Close();
  EXPECT_EQ(kInvalidSocket, client.handle);
  EXPECT_EQ(-1, client.Send("x", 1));

  listener->Close();
  EXPECT_EQ(nullptr, listener->Accept());
}

TEST_F(Sockets, SendAllDeliversALargeBufferWhole) {
  std::string data(20u * 1024u * 1024u, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('A' + (i * 7) % 26);

  std::string received;
  std::thread server([&] {
    std::unique_ptr<CSocket> connection = Accept();
    if (connection) received = ReceiveToEnd(*connection);
  });
  {
    CSocket client("127.0.0.1", port);
    EXPECT_TRUE(SendAll(client, data.data(), data.size()));
    EXPECT_TRUE(SendAll(client, nullptr, 0));  // nothing to send is not a failure
  }
  server.join();
  ASSERT_EQ(data.size(), received.size());
  EXPECT_TRUE(data == received);
}

// Small jobs go out with their word in one send, larger ones after it: the bytes are
// the same on either side of the boundary.
TEST_F(Sockets, SendFrameWritesTheLengthWordThenTheJob) {
  auto pattern = [](std::size_t n) {
    std::string s(n, 'x');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
    return s;
  };
  const std::string jobs[] = {"N\nB10,10,0,1,2,4,60,B,\"A1\"\nP1\n", std::string(), pattern(4092),
                              pattern(4093), pattern(200000)};
  for (const std::string& job : jobs) {
    std::string received;
    std::thread server([&] {
      std::unique_ptr<CSocket> connection = Accept();
      if (connection) received = ReceiveToEnd(*connection);
    });
    {
      CSocket client("127.0.0.1", port);
      EXPECT_TRUE(SendFrame(client, job.data(), static_cast<std::uint32_t>(job.size())));
    }
    server.join();
    ASSERT_EQ(4 + job.size(), received.size());
    EXPECT_EQ(job.size(),
              wire::DecodeLength(reinterpret_cast<const unsigned char*>(received.data())));
    EXPECT_EQ(job, received.substr(4));
  }
}

TEST_F(Sockets, OversizedFrameIsNotSent) {
  std::string received = "untouched";
  std::thread server([&] {
    std::unique_ptr<CSocket> connection = Accept();
    if (connection) received = ReceiveToEnd(*connection);
  });
  {
    CSocket client("127.0.0.1", port);
    static const char job[] = "x";
    EXPECT_FALSE(SendFrame(client, job, wire::kMaxJobLength + 1));
  }
  server.join();
  EXPECT_EQ("", received);
}

TEST_F(Sockets, SendingToAClosedPeerFailsWithoutEndingTheProcess) {
  CSocket client("127.0.0.1", port);
  Accept().reset();  // accepted and closed at once
  std::string data(8u * 1024u * 1024u, 'z');
  // The peer's reset makes a send fail; it must not raise a signal that ends the process.
  bool sent = true;
  for (int i = 0; i < 10 && sent; ++i) sent = SendAll(client, data.data(), data.size());
  EXPECT_FALSE(sent);
}

}  // namespace
