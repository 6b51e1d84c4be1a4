#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/base_service.h"
#include "fake_service_connection.h"

namespace {

namespace md = nimbara::md;
using nimbara::PlistValue;
using nimbara::test::FakeServiceConnection;
using nimbara::test::WithFakeConnection;
using Bytes = FakeServiceConnection::Bytes;

PlistValue sampleMessage() {
    PlistValue message = PlistValue::dict();
    message["command"] = "getIconPNGData";
    message["bundleId"] = "com.example.ünïcode";
    message["blob"] = PlistValue::Bytes(3000, 0xAB);
    return message;
}

class PlistChannelTest : public ::testing::Test {
  protected:
    void SetUp() override { peer_ = service_.useFakeConnection(); }
    WithFakeConnection<amd::BaseService> service_;
    FakeServiceConnection* peer_ = nullptr;
};

TEST_F(PlistChannelTest, SendsLengthWordThenXml) {
    const PlistValue message = sampleMessage();
    const std::string xml = message.toXml();
    const unsigned int word = service_.SendPlist(message);
    EXPECT_NE(word, 0u);
    // The word as it lies in memory is the big-endian length.
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&word);
    EXPECT_EQ(Bytes(raw, raw + 4), FakeServiceConnection::lengthWord(xml.size()));

    ASSERT_EQ(peer_->sent.size(), 4 + xml.size());
    EXPECT_EQ(Bytes(peer_->sent.begin(), peer_->sent.begin() + 4),
              FakeServiceConnection::lengthWord(xml.size()));
    auto sent = peer_->sentMessages();
    ASSERT_TRUE(sent.has_value());
    EXPECT_EQ(sent->front(), message);
}

TEST_F(PlistChannelTest, FailedSendIsReported) {
    peer_->sendsAllowed = 0;
    EXPECT_EQ(service_.SendPlist(sampleMessage()), 0u);

    WithFakeConnection<amd::BaseService> bodyFails;
    bodyFails.useFakeConnection()->sendsAllowed = 1;  // the length word goes, the body doesn't
    EXPECT_EQ(bodyFails.SendPlist(sampleMessage()), 0u);

    amd::BaseService unconnected;
    EXPECT_EQ(unconnected.SendPlist(sampleMessage()), 0u);
    EXPECT_FALSE(unconnected.ReceivePlist().has_value());
}

TEST_F(PlistChannelTest, ReceivesAMessageArrivingInPieces) {
    const PlistValue message = sampleMessage();
    const Bytes frame = FakeServiceConnection::frame(message);
    // The length word split too, then bodies of odd sizes.
    std::size_t at = 0;
    for (std::size_t size : {1u, 2u, 1u, 5u, 999u, 1u}) {
        peer_->incoming.emplace_back(frame.begin() + static_cast<long>(at),
                                     frame.begin() + static_cast<long>(at + size));
        at += size;
    }
    peer_->incoming.emplace_back(frame.begin() + static_cast<long>(at), frame.end());
    // A second message right behind the first stays for the next receive.
    peer_->queueReply(PlistValue("next"));

    auto got = service_.ReceivePlist();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, message);
    auto next = service_.ReceivePlist();
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(next->toString(), "next");
}

TEST_F(PlistChannelTest, BrokenOrEmptyMessagesGiveNothing) {
    struct Case {
        const char* what;
        std::vector<Bytes> pieces;
        long endResult;
    };
    const Bytes frame = FakeServiceConnection::frame(sampleMessage());
    const Bytes halfFrame(frame.begin(), frame.begin() + static_cast<long>(frame.size() / 2));
    Bytes garbage = FakeServiceConnection::lengthWord(12);
    for (char c : std::string("not a plist!")) {
        garbage.push_back(static_cast<std::uint8_t>(c));
    }
    const Case cases[] = {
        {"nothing at all", {}, 0},
        {"a short length word", {{0, 0}}, 0},
        {"a zero length", {FakeServiceConnection::lengthWord(0)}, 0},
        {"peer closes mid-body", {halfFrame}, 0},
        {"receive error mid-body", {halfFrame}, -1},
        {"a body that isn't a property list", {garbage}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WithFakeConnection<amd::BaseService> service;
        FakeServiceConnection* peer = service.useFakeConnection();
        peer->incoming.assign(c.pieces.begin(), c.pieces.end());
        peer->endResult = c.endResult;
        EXPECT_FALSE(service.ReceivePlist().has_value());
    }
}

TEST_F(PlistChannelTest, OversizedLengthIsRefusedBeforeReadingTheBody) {
    peer_->incoming.push_back(FakeServiceConnection::lengthWord(0xFFFFFFF0u));
    peer_->incoming.push_back(Bytes(4096, 'x'));
    EXPECT_FALSE(service_.ReceivePlist().has_value());
    EXPECT_EQ(peer_->bytesHandedOut, 4u);

    WithFakeConnection<amd::BaseService> justOver;
    FakeServiceConnection* peer = justOver.useFakeConnection();
    peer->incoming.push_back(FakeServiceConnection::lengthWord(md::kMaxFrameLength + 1));
    EXPECT_FALSE(justOver.ReceivePlist().has_value());
    EXPECT_EQ(peer->bytesHandedOut, 4u);
}

}  // namespace
