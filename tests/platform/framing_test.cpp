#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "platform/mobiledevice/mobile_device.h"

using nimbara::PlistValue;
namespace md = nimbara::md;

namespace {

// A connection whose receive() hands out scripted pieces, then `endResult` (0 = closed).
class ScriptedConnection : public md::ServiceConnection {
  public:
    std::deque<std::string> pieces;
    long endResult = 0;
    int receiveCalls = 0;
    std::string sent;
    long failSendAt = -1;  // the send call (0-based) that fails

    long send(const void* data, std::size_t length) override {
        if (sendCalls_++ == failSendAt) {
            return -1;
        }
        sent.append(static_cast<const char*>(data), length);
        return static_cast<long>(length);
    }
    long receive(void* buffer, std::size_t length) override {
        ++receiveCalls;
        if (pieces.empty()) {
            return endResult;
        }
        std::string& piece = pieces.front();
        const std::size_t n = std::min(length, piece.size());
        std::memcpy(buffer, piece.data(), n);
        piece.erase(0, n);
        if (piece.empty()) {
            pieces.pop_front();
        }
        return static_cast<long>(n);
    }
    int openAfc(std::unique_ptr<md::AfcConnection>&) override { return md::Error::Unknown; }
    void close() override {}

  private:
    long sendCalls_ = 0;
};

std::string header(std::uint32_t length) {
    return std::string{static_cast<char>(length >> 24), static_cast<char>(length >> 16),
                       static_cast<char>(length >> 8), static_cast<char>(length)};
}

PlistValue sample() {
    PlistValue v = PlistValue::dict();
    v["Command"] = "Lookup";
    v["Text"] = std::string(3000, 'x');
    return v;
}

}  // namespace

TEST(Framing, SendWritesBigEndianLengthThenXml) {
    ScriptedConnection c;
    ASSERT_EQ(md::sendFrame(c, sample()), 0);
    const std::string xml = sample().toXml();
    ASSERT_EQ(c.sent.size(), xml.size() + 4);
    EXPECT_EQ(c.sent.substr(0, 4), header(static_cast<std::uint32_t>(xml.size())));
    EXPECT_EQ(c.sent.substr(4), xml);

    ScriptedConnection failing;
    failing.failSendAt = 0;
    EXPECT_NE(md::sendFrame(failing, sample()), 0);
    EXPECT_TRUE(failing.sent.empty()) << "no body after a failed header";
    failing.failSendAt = 1;
    EXPECT_NE(md::sendFrame(failing, sample()), 0);
}

TEST(Framing, ReadsBodiesArrivingInPieces) {
    const std::string xml = sample().toXml();
    ScriptedConnection c;
    // The header itself split, then the body in uneven pieces.
    const std::string frame = header(static_cast<std::uint32_t>(xml.size())) + xml;
    c.pieces = {frame.substr(0, 1), frame.substr(1, 3)};
    for (std::size_t at = 4; at < frame.size(); at += 997) {
        c.pieces.push_back(frame.substr(at, 997));
    }
    auto value = md::receiveFrame(c);
    ASSERT_TRUE(value);
    EXPECT_EQ(*value, sample());

    // Two frames back to back are read one at a time.
    ScriptedConnection twice;
    twice.pieces = {frame + frame};
    EXPECT_TRUE(md::receiveFrame(twice));
    EXPECT_TRUE(md::receiveFrame(twice));
    EXPECT_FALSE(md::receiveFrame(twice));
}

TEST(Framing, RefusesBrokenFrames) {
    const std::string xml = sample().toXml();
    const auto length = static_cast<std::uint32_t>(xml.size());

    ScriptedConnection zero;
    zero.pieces = {header(0) + xml};
    EXPECT_FALSE(md::receiveFrame(zero)) << "a length of 0";

    ScriptedConnection shortHeader;
    shortHeader.pieces = {std::string("\0\0", 2)};
    EXPECT_FALSE(md::receiveFrame(shortHeader));

    ScriptedConnection midBody;
    midBody.pieces = {header(length), xml.substr(0, xml.size() / 2)};
    EXPECT_FALSE(md::receiveFrame(midBody)) << "the peer closed mid-body";

    ScriptedConnection failing;
    failing.pieces = {header(length), xml.substr(0, 10)};
    failing.endResult = -1;
    EXPECT_FALSE(md::receiveFrame(failing)) << "a receive error mid-body";

    ScriptedConnection oversized;
    oversized.pieces = {header(md::kMaxFrameLength + 1) + xml};
    EXPECT_FALSE(md::receiveFrame(oversized));
    EXPECT_EQ(oversized.receiveCalls, 1) << "no body is read for a refused length";

    ScriptedConnection garbage;
    const std::string junk = "this is not a property list at all";
    garbage.pieces = {header(static_cast<std::uint32_t>(junk.size())) + junk};
    EXPECT_FALSE(md::receiveFrame(garbage));
}
