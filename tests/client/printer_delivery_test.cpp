// The real delivery in-process: wire frames to a real TCP listener, including the empty
// job, the largest job and a peer that goes away.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/client_entry.h"
#include "tests/support/frame_listener.h"
#include "transport/wire_frame.h"

namespace {

using testsupport::FrameListener;
using testsupport::WireFrame;

void Target(ClientSettings* settings, int port) {
  std::snprintf(settings->address, sizeof settings->address, "127.0.0.1");
  settings->netPort = port;
}

TEST(PrinterDelivery, FramesOverTcp) {
  FrameListener listener;
  ASSERT_TRUE(listener.Listening());
  ClientSettings settings;
  Target(&settings, listener.Port());
  PrinterDelivery delivery;
  EXPECT_TRUE(delivery.Deliver(settings, "N\nP1\n", 5));
  // An empty label job is a frame of length 0 with nothing after it.
  EXPECT_TRUE(delivery.Deliver(settings, "", 0));
  EXPECT_EQ((std::vector<std::string>{WireFrame("N\nP1\n"), std::string(4, '\0')}), listener.Connections(2));
}

TEST(PrinterDelivery, TheLargestJobArrivesWhole) {
  FrameListener listener;
  ClientSettings settings;
  Target(&settings, listener.Port());
  std::string job(wire::kMaxJobLength, 'j');
  job[12345] = 'k';
  PrinterDelivery delivery;
  EXPECT_TRUE(delivery.Deliver(settings, job.data(), job.size()));
  std::vector<std::string> got = listener.Connections(1, 60000);
  ASSERT_EQ(1u, got.size());
  EXPECT_TRUE(got[0] == WireFrame(job)) << "received " << got[0].size() << " bytes";
}

TEST(PrinterDelivery, PeerThatGoesAwayFailsTheSend) {
  FrameListener listener(false);
  ClientSettings settings;
  Target(&settings, listener.Port());
  std::string job(wire::kMaxJobLength, 'j');
  PrinterDelivery delivery;
  EXPECT_FALSE(delivery.Deliver(settings, job.data(), job.size()));
}

TEST(PrinterDelivery, RefusedAndUnresolvable) {
  ClientSettings settings;
  Target(&settings, testsupport::UnusedPort());
  PrinterDelivery delivery;
  EXPECT_FALSE(delivery.Deliver(settings, "N\n", 2));
  std::snprintf(settings.address, sizeof settings.address, "no-such-host.invalid");
  EXPECT_FALSE(delivery.Deliver(settings, "N\n", 2));
}

}  // namespace
