// The connected-device record.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "device/base_info.h"
#include "device/pri_device_node.h"

namespace {

TEST(PRiDeviceNode, FreshNodeHasNoIndexAndNullTexts) {
    PRiDeviceNode node;
    EXPECT_EQ(node.deviceIndex(), -1);
    EXPECT_EQ(node.totalFileSizeNumber(), 0u);
    EXPECT_EQ(node.freeFileSizeNumber(), 0u);
    EXPECT_EQ(node.getBi(), nullptr);
    for (const QString& text :
         {node.deviceName(), node.deviceSize(), node.freeSize(), node.musicSize(), node.photoSize(),
          node.videoSize(), node.appSize(), node.otherSize(), node.productVersion(),
          node.iOSVersion(), node.seriNumber(), node.udidNumber(), node.firemVersion(),
          node.PhoneNumber(), node.deviceModel()}) {
        EXPECT_TRUE(text.isNull());
    }
    // An empty text is not the same as none.
    node.setPhoneNumber(QString(""));
    EXPECT_FALSE(node.PhoneNumber().isNull());
}

TEST(PRiDeviceNode, KeepsItsOwnCopyOfTexts) {
    PRiDeviceNode node;
    QString name = "Anna's iPhone";
    node.setDeviceName(name);
    name.append(" (changed)");
    EXPECT_EQ(node.deviceName(), "Anna's iPhone");

    node.setUdidNumber("0123abcd");
    node.setIOSVersion("12.4.1");
    node.setTotalFileSizeNumber(64000000000u);
    node.setDeviceIndex(2);
    EXPECT_EQ(node.udidNumber(), "0123abcd");
    EXPECT_EQ(node.iOSVersion(), "12.4.1");
    EXPECT_EQ(node.totalFileSizeNumber(), 64000000000u);
    EXPECT_EQ(node.deviceIndex(), 2);
}

TEST(PRiDeviceNode, ValuesObjectIsNotKeptAliveAfterTheDeviceReleasedIt) {
    PRiDeviceNode node;
    auto info = std::make_shared<amd::BaseInfo>();
    node.SetBaseInfo(info);
    EXPECT_EQ(node.getBi(), info);
    info.reset();
    EXPECT_EQ(node.getBi(), nullptr);  // instead of a dangling object
}

TEST(PRiDeviceNode, ConcurrentSettersAndGetters) {
    PRiDeviceNode node;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&node, t] {
            for (int i = 0; i < 2000; ++i) {
                if (t % 2) {
                    node.setDeviceName(QString::number(i));
                    node.setFreeFileSizeNumber(static_cast<std::uint64_t>(i));
                } else {
                    const QString name = node.deviceName();
                    EXPECT_TRUE(name.isNull() || name.toInt() >= 0);
                }
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(node.deviceName(), "1999");
    EXPECT_EQ(node.freeFileSizeNumber(), 1999u);
}

}  // namespace
