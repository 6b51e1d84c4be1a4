#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "attached_device_fixture.h"
#include "device/sb_service.h"
#include "fake_service_connection.h"

namespace {

using nimbara::PlistValue;
using nimbara::simdev::AppSpec;
using nimbara::test::AttachedDeviceTest;
using nimbara::test::FakeServiceConnection;
using nimbara::test::WithFakeConnection;

class SBServiceTest : public AttachedDeviceTest {
  protected:
    void addApp(const std::string& bundleId, bool withIcon) {
        AppSpec app;
        app.bundleId = bundleId;
        app.displayName = bundleId;
        app.withIcon = withIcon;
        device().addApp(app);
    }
};

TEST_F(SBServiceTest, IconBytesAreThoseOfTheDevice) {
    addApp("com.example.notes", true);
    addApp("com.example.plain", false);
    const int index = attach();
    ASSERT_GE(index, 0);
    amd::SBService sb;
    ASSERT_EQ(sb.Init(index), 0);

    std::vector<std::uint8_t> png;
    ASSERT_EQ(sb.GetIconPNGData("com.example.notes", png), 0);
    const auto onDevice = fileBytes(device().appPath("com.example.notes") / "icon.png");
    ASSERT_TRUE(onDevice.has_value());
    EXPECT_EQ(std::string(png.begin(), png.end()), *onDevice);

    // The same object serves the next request; a failure empties the output.
    EXPECT_EQ(sb.GetIconPNGData("com.example.absent", png), 2);
    EXPECT_TRUE(png.empty());
    ASSERT_EQ(sb.GetIconPNGData("com.example.notes", png), 0);
    EXPECT_EQ(png.size(), onDevice->size());
}

TEST_F(SBServiceTest, ClosedReplyIsNoIcon) {
    addApp("com.example.notes", true);
    device().setFault("ClosedReply",
                      PlistValue(PlistValue::Array{PlistValue("com.apple.springboardservices")}));
    const int index = attach();
    ASSERT_GE(index, 0);
    amd::SBService sb;
    ASSERT_EQ(sb.Init(index), 0);
    std::vector<std::uint8_t> png{1, 2, 3};
    EXPECT_EQ(sb.GetIconPNGData("com.example.notes", png), 2);
    EXPECT_TRUE(png.empty());
}

TEST_F(SBServiceTest, UnboundServiceCannotAsk) {
    attach();
    amd::SBService sb;
    EXPECT_EQ(sb.Init(7), 1);
    std::vector<std::uint8_t> png{1};
    EXPECT_EQ(sb.GetIconPNGData("com.example.notes", png), 1);
    EXPECT_TRUE(png.empty());
    EXPECT_FALSE(sb.getIconState().has_value());
}

TEST(SBServiceReplies, ReadsTheIconFromAReplyInPieces) {
    WithFakeConnection<amd::SBService> sb;
    FakeServiceConnection* peer = sb.useFakeConnection();
    const std::vector<std::uint8_t> icon{0x89, 'P', 'N', 'G', 0, 1, 2, 3};
    PlistValue reply = PlistValue::dict();
    reply["pngData"] = PlistValue::Bytes(icon);
    const auto frame = FakeServiceConnection::frame(reply);
    for (std::size_t at = 0; at < frame.size(); at += 7) {
        peer->incoming.emplace_back(
            frame.begin() + static_cast<long>(at),
            frame.begin() + static_cast<long>(std::min(at + 7, frame.size())));
    }
    std::vector<std::uint8_t> png;
    EXPECT_EQ(sb.GetIconPNGData("com.example.notes", png), 0);
    EXPECT_EQ(png, icon);

    auto sent = peer->sentMessages();
    ASSERT_TRUE(sent.has_value());
    ASSERT_EQ(sent->size(), 1u);
    EXPECT_EQ(sent->front()["command"].toString(), "getIconPNGData");
    EXPECT_EQ(sent->front()["bundleId"].toString(), "com.example.notes");
}

TEST(SBServiceReplies, ReplyWithoutIconDataIsResultTwo) {
    for (const PlistValue& reply :
         {PlistValue(PlistValue::Dict{{"other", PlistValue("x")}}),
          PlistValue(PlistValue::Dict{{"pngData", PlistValue("not data")}}),
          PlistValue(PlistValue::Array{PlistValue(PlistValue::Bytes{1, 2})})}) {
        WithFakeConnection<amd::SBService> sb;
        sb.useFakeConnection()->queueReply(reply);
        std::vector<std::uint8_t> png{9};
        EXPECT_EQ(sb.GetIconPNGData("com.example.notes", png), 2);
        EXPECT_TRUE(png.empty());
    }
}

TEST(SBServiceReplies, FailedRequestIsResultOne) {
    WithFakeConnection<amd::SBService> sb;
    FakeServiceConnection* peer = sb.useFakeConnection();
    peer->sendsAllowed = 0;
    PlistValue reply = PlistValue::dict();
    reply["pngData"] = PlistValue::Bytes{1};
    peer->queueReply(reply);
    std::vector<std::uint8_t> png;
    EXPECT_EQ(sb.GetIconPNGData("com.example.notes", png), 1);
    EXPECT_TRUE(png.empty());
    EXPECT_EQ(peer->bytesHandedOut, 0u) << "no reply is read for a request that never went";
}

TEST(SBServiceReplies, IconStateIsTheReply) {
    WithFakeConnection<amd::SBService> sb;
    FakeServiceConnection* peer = sb.useFakeConnection();
    PlistValue layout = PlistValue::array();
    layout.append(PlistValue::array());
    peer->queueReply(layout);
    auto state = sb.getIconState();
    ASSERT_TRUE(state.has_value());
    EXPECT_EQ(*state, layout);
    EXPECT_EQ(peer->sentMessages().value().front()["command"].toString(), "getIconState");
}

}  // namespace
