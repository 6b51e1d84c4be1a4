// Product types of backed-up devices and the model names and row images they give.
#include <gtest/gtest.h>

#include "backup/device_type_table.h"

namespace bk = nimbara::backup;

TEST(DeviceTypeTableTest, EveryEntryGivesItsModel) {
    const std::pair<const char*, const char*> expected[] = {
        {"iPhone1,1", "iPhone"},    {"iPhone1,2", "iPhone3G"},  {"iPhone2,1", "iPhone3GS"},
        {"iPhone3,1", "iPhone 4"},  {"iPhone3,3", "iPhone 4"},  {"iPhone4,1", "iPhone 4S"},
        {"iPhone5,1", "iPhone 5"},  {"iPhone5,2", "iPhone 5"},  {"iPod1,1", "iPodTouch"},
        {"iPod2,1", "iPodTouch2G"}, {"iPod3,1", "IpodTouch3G"}, {"iPod4,1", "iPodTouch4G"},
        {"iPad1,1", "iPad 1"},      {"iPad2,1", "iPad 2"},      {"iPad3,1", "NewiPad"},
        {"iPad3,4", "NewiPad"},
    };
    for (const auto& [type, model] : expected) {
        EXPECT_EQ(bk::modelNameForProductType(QString::fromLatin1(type)),
                  QString::fromLatin1(model))
            << type;
    }
    // Every row of the table is reachable: no earlier row swallows a later one.
    for (const bk::DeviceTypeEntry& entry : bk::deviceTypeTable()) {
        EXPECT_EQ(bk::modelNameForProductType(QString::fromLatin1(entry.productTypePart)),
                  QString::fromLatin1(entry.modelName))
            << entry.productTypePart;
    }
    EXPECT_EQ(bk::deviceTypeTable().size(), 14u);
}

TEST(DeviceTypeTableTest, MatchesAreCaseInsensitiveSubstrings) {
    EXPECT_EQ(bk::modelNameForProductType("IPHONE4,1"), QStringLiteral("iPhone 4S"));
    EXPECT_EQ(bk::modelNameForProductType("ipad2,1"), QStringLiteral("iPad 2"));
    EXPECT_EQ(bk::modelNameForProductType("x-iPod4,1-y"), QStringLiteral("iPodTouch4G"));
}

TEST(DeviceTypeTableTest, EmptyTypeIsAnIPhoneAndUnknownTypesHaveNoModel) {
    EXPECT_EQ(bk::modelNameForProductType(QString()), QStringLiteral("iPhone"));
    EXPECT_EQ(bk::modelNameForProductType(QStringLiteral("")), QStringLiteral("iPhone"));
    for (const char* unknown : {"iPhone6,1", "iPhone11,2", "iPhone13,1", "iPhone15,2", "iPad2,2",
                                "iPad13,4", "iPod5,1", "AppleTV2,1", "Watch"}) {
        EXPECT_TRUE(bk::modelNameForProductType(QString::fromLatin1(unknown)).isNull()) << unknown;
    }
}

TEST(DeviceTypeTableTest, IPadModelsGetTheIPadImage) {
    for (const char* type : {"iPad1,1", "iPad2,1", "iPad3,6"}) {
        const QString model = bk::modelNameForProductType(QString::fromLatin1(type));
        EXPECT_TRUE(bk::isIPadModel(model)) << type;
        EXPECT_EQ(bk::deviceImageNameForModel(model), QStringLiteral("ipadImage.png")) << type;
    }
    for (const char* type : {"iPhone5,2", "iPod4,1", "", "iPhone6,1"}) {
        const QString model = bk::modelNameForProductType(QString::fromLatin1(type));
        EXPECT_FALSE(bk::isIPadModel(model)) << type;
        EXPECT_EQ(bk::deviceImageNameForModel(model), QStringLiteral("iphoneImage.png")) << type;
    }
}
