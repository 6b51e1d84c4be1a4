// The pure parts of the real-device backend: how failures become error codes and sentences, how
// the library's property lists become our values, and the storage metrics of a device without a
// media-sync session.
#include <gtest/gtest.h>

#include <plist/plist.h>

#include <set>

#include "platform/mobiledevice/imd/imd_device.h"
#include "platform/mobiledevice/imd/imd_errors.h"
#include "platform/mobiledevice/imd/imd_events.h"

namespace md = nimbara::md;
namespace imd = nimbara::md::imd;
using nimbara::PlistValue;

TEST(ImdErrors, TheTrustStatesStayApartAndReadAsDifferentSentences) {
    EXPECT_EQ(imd::fromLockdown(LOCKDOWN_E_PASSWORD_PROTECTED, false),
              md::Error::PasswordProtected);
    EXPECT_EQ(imd::fromLockdown(LOCKDOWN_E_PAIRING_DIALOG_RESPONSE_PENDING, false),
              md::Error::PairingPending);
    EXPECT_EQ(imd::fromLockdown(LOCKDOWN_E_USER_DENIED_PAIRING, false), md::Error::PairingRefused);
    EXPECT_EQ(imd::fromLockdown(LOCKDOWN_E_INVALID_HOST_ID, false), md::Error::InvalidPairing);

    std::set<std::string> sentences;
    for (int code : {md::Error::PasswordProtected, md::Error::PairingPending,
                     md::Error::PairingRefused, md::Error::InvalidPairing, md::Error::DeviceGone,
                     md::Error::ContainerRefused, md::Error::AppNotInstalled, md::Error::Timeout}) {
        const std::string text = md::errorText(code);
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_TRUE(sentences.insert(text).second) << text;
    }
    EXPECT_EQ(md::errorText(0), "");
    EXPECT_NE(md::errorText(12345).find("12345"), std::string::npos);

    // Only waiting can change a lock or a pending question; a refusal stays until asked anew.
    EXPECT_TRUE(imd::isTransientTrustError(md::Error::PasswordProtected));
    EXPECT_TRUE(imd::isTransientTrustError(md::Error::PairingPending));
    EXPECT_FALSE(imd::isTransientTrustError(md::Error::PairingRefused));
    EXPECT_FALSE(imd::isTransientTrustError(md::Error::DeviceGone));
}

TEST(ImdErrors, ABrokenConnectionOfADepartedDeviceReadsAsGone) {
    for (auto error : {LOCKDOWN_E_MUX_ERROR, LOCKDOWN_E_SSL_ERROR, LOCKDOWN_E_RECEIVE_TIMEOUT,
                       LOCKDOWN_E_PLIST_ERROR, LOCKDOWN_E_UNKNOWN_ERROR}) {
        EXPECT_EQ(imd::fromLockdown(error, true), md::Error::DeviceGone) << error;
        EXPECT_NE(imd::fromLockdown(error, false), md::Error::DeviceGone) << error;
        EXPECT_NE(imd::fromLockdown(error, false), md::Error::Ok) << error;
    }
    EXPECT_EQ(imd::fromLockdown(LOCKDOWN_E_RECEIVE_TIMEOUT, false), md::Error::Timeout);
    EXPECT_EQ(imd::fromLockdown(LOCKDOWN_E_MISSING_VALUE, false), md::Error::InvalidArgument);
    EXPECT_EQ(imd::fromLockdown(LOCKDOWN_E_INVALID_SERVICE, false), md::Error::ServiceRefused);
    EXPECT_EQ(imd::fromIdevice(IDEVICE_E_SUCCESS, true), md::Error::Ok);
    EXPECT_EQ(imd::fromIdevice(IDEVICE_E_NO_DEVICE, false), md::Error::DeviceGone);
    EXPECT_EQ(imd::fromIdevice(IDEVICE_E_TIMEOUT, false), md::Error::Timeout);
    EXPECT_EQ(imd::fromIdevice(IDEVICE_E_TIMEOUT, true), md::Error::DeviceGone);
}

TEST(ImdErrors, LockdownAnswersOnOurOwnConnectionReadAsTheLibraryReadsThem) {
    const std::pair<const char*, int> rows[] = {
        {"InvalidHostID", md::Error::InvalidPairing},
        {"PasswordProtected", md::Error::PasswordProtected},
        {"PairingDialogResponsePending", md::Error::PairingPending},
        {"UserDeniedPairing", md::Error::PairingRefused},
        {"InvalidSessionID", md::Error::SessionInactive},
        {"MissingValue", md::Error::InvalidArgument},
        {"ServiceProhibited", md::Error::ServiceRefused},
        {"InvalidRequest", md::Error::Unknown},
        {"", md::Error::Unknown},
    };
    for (const auto& [text, code] : rows) {
        EXPECT_EQ(imd::fromLockdownAnswer(text), code) << text;
    }
    // Only a record the device no longer knows is worth pairing again for.
    EXPECT_TRUE(imd::isForgottenPairing(LOCKDOWN_E_INVALID_HOST_ID));
    EXPECT_FALSE(imd::isForgottenPairing(LOCKDOWN_E_USER_DENIED_PAIRING));
    EXPECT_FALSE(imd::isForgottenPairing(LOCKDOWN_E_PASSWORD_PROTECTED));
}

TEST(ImdErrors, HouseArrestSaysWhetherTheAppIsMissingOrKeepsItsFilesToItself) {
    EXPECT_EQ(imd::fromHouseArrest("ApplicationLookupFailed"), md::Error::AppNotInstalled);
    EXPECT_EQ(imd::fromHouseArrest("InstallationLookupFailed"), md::Error::ContainerRefused);
    EXPECT_EQ(imd::fromHouseArrest("SomethingElse"), md::Error::ServiceRefused);
    EXPECT_EQ(imd::fromHouseArrest(""), md::Error::ServiceRefused);
}

TEST(ImdValues, LibraryValuesBecomeOurs) {
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "DeviceName", plist_new_string("Ann’s iPhone"));
    plist_dict_set_item(dict, "TotalDiskCapacity", plist_new_uint(64000000000ULL));
    plist_dict_set_item(dict, "Key", plist_new_data("\x00\x01\x02", 3));
    plist_t list = plist_new_array();
    plist_array_append_item(list, plist_new_bool(1));
    plist_dict_set_item(dict, "List", list);
    auto value = imd::valueFromPlist(dict);
    plist_free(dict);
    ASSERT_TRUE(value);
    EXPECT_EQ((*value)["DeviceName"].toString(), "Ann’s iPhone");
    EXPECT_EQ((*value)["TotalDiskCapacity"].toInt64(), 64000000000LL);
    EXPECT_EQ((*value)["Key"].toData(), (PlistValue::Bytes{0, 1, 2}));
    EXPECT_TRUE((*value)["List"].toArray().at(0).toBool(false));

    // A single value (one key asked for) is a value of its own, not a dictionary.
    plist_t text = plist_new_string("16.1");
    auto version = imd::valueFromPlist(text);
    plist_free(text);
    ASSERT_TRUE(version);
    EXPECT_EQ(version->toString(), "16.1");
    EXPECT_FALSE(imd::valueFromPlist(nullptr));
}

TEST(ImdValues, ValuesNestedBeyondOurLimitAreRefused) {
    plist_t root = plist_new_array();
    plist_t inner = root;
    for (int i = 0; i < 1000; ++i) {
        plist_t next = plist_new_array();
        plist_array_append_item(inner, next);
        inner = next;
    }
    EXPECT_FALSE(imd::valueFromPlist(root));
    plist_free(root);
}

TEST(ImdMetrics, DiskUsageGivesWhatItKnowsAndMarksTheRestUnknown) {
    PlistValue usage = PlistValue::dict();
    usage["MobileApplicationUsage"] = std::int64_t(5000000000);
    usage["CameraUsage"] = std::int64_t(1200000000);
    usage["PhotoUsage"] = std::int64_t(-1);  // nonsense: not a size
    const PlistValue metrics = imd::assetMetricsFromDiskUsage(usage);

    EXPECT_EQ(metrics["Application"]["_PhysicalSize"].toInt64(), 5000000000LL);
    EXPECT_FALSE(metrics["Application"].contains(md::kMetricUnknown));
    EXPECT_EQ(metrics["Photo"]["CameraRoll"]["_PhysicalSize"].toInt64(), 1200000000LL);
    for (const PlistValue* unknown :
         {&metrics["Photo"]["Photo"], &metrics["Media"]["Music"], &metrics["Media"]["Movie"]}) {
        EXPECT_TRUE((*unknown)[md::kMetricUnknown].toBool(false));
        EXPECT_FALSE(unknown->contains("_PhysicalSize"));
    }

    // Newer devices leave the usage keys out altogether.
    const PlistValue bare = imd::assetMetricsFromDiskUsage(PlistValue::dict());
    EXPECT_TRUE(bare["Application"][md::kMetricUnknown].toBool(false));
    EXPECT_TRUE(bare["Photo"]["CameraRoll"][md::kMetricUnknown].toBool(false));
}

TEST(ImdEvents, OnlyPlausibleIdentifiersAreTaken) {
    EXPECT_TRUE(imd::isPlausibleUdid("00008020-001A2B3C4D5E6F70"));
    EXPECT_TRUE(imd::isPlausibleUdid("0123456789abcdef0123456789abcdef01234567"));
    EXPECT_FALSE(imd::isPlausibleUdid(""));
    EXPECT_FALSE(imd::isPlausibleUdid("../../etc"));
    EXPECT_FALSE(imd::isPlausibleUdid("abc def"));
    EXPECT_FALSE(imd::isPlausibleUdid(std::string("abc\0def", 7)));
    EXPECT_FALSE(imd::isPlausibleUdid(std::string(65, 'a')));
}
