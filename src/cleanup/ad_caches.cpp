#include "cleanup/ad_caches.h"

#include <QDebug>

#include <algorithm>
#include <cctype>
#include <utility>

#include "app/core/byte_arithmetic.h"
#include "cleanup/protected_files.h"
#include "device/afc_service.h"
#include "device/app_dir_service.h"
#include "platform/device_path.h"

namespace nimbara::cleanup {

namespace {

const std::vector<const char*> kAdPlatforms = {
    "admob",           "adfonic",   "admarvel",  "admoda",      "adsmobi",          "adwhirl",
    "airpush",         "appflood",  "apppia",    "applifier",   "appnext",          "burstly",
    "buzzcity",        "casee",     "celtra",    "domob",       "DMAdCache",        "chartboos",
    "doubleclick",     "dsnrmg",    "fiksu",     "flurry",      "googleads",        "grestripe",
    "hipcricket",      "inmobi",    "jumptap",   "komlimobile", "leadboit",         "madvertise",
    "millennialmedia", "mmedia",    "mobclix",   "mobfox",      "mobgold",          "mobiletheory",
    "mobpartner",      "mojiva",    "mopub",     "placeplay",   "smaato",           "sponsormob",
    "sponsorpay",      "tapfortap", "tapit",     "tapjoy",      "trademob",         "vungle.com",
    "iconpeak",        "pollfish",  "revmobads", "admogocache", "googlesyndication"};

std::string lowered(const std::string& text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// "/Library/Caches/<name>" with a plain name: the only paths a removal may touch.
bool isCacheFolderPath(const std::string& path) {
    const std::string prefix = std::string(kAppCachesFolder) + "/";
    if (path.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    const std::string name = path.substr(prefix.size());
    return isValidFileName(name) && adPlatformIndex(name) >= 0;
}

}  // namespace

const std::vector<const char*>& adPlatformNames() {
    return kAdPlatforms;
}

int adPlatformIndex(const std::string& folderName) {
    const std::string name = lowered(folderName);
    for (std::size_t i = 0; i < kAdPlatforms.size(); ++i) {
        if (name.find(lowered(kAdPlatforms[i])) != std::string::npos) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::vector<std::string> findAdCacheFolders(amd::AfcService& container, CleanJobDevice& device) {
    std::vector<std::string> folders;
    const auto names = container.ReadDirectory(kAppCachesFolder);
    if (!names) {
        return folders;
    }
    for (const std::string& name : *names) {
        if (isValidFileName(name) && adPlatformIndex(name) >= 0) {
            const std::string path = std::string(kAppCachesFolder) + "/" + name;
            const auto info = container.GetFileKindAndSize(path);
            if (info && info->kind == "S_IFDIR" &&
                std::find(folders.begin(), folders.end(), path) == folders.end()) {
                qInfo().noquote() << "ads platform====" << QString::fromStdString(name);
                folders.push_back(path);
            }
        }
        if (device.shouldStop()) {
            break;
        }
    }
    return folders;
}

std::shared_ptr<PRAppAdsRemoveNode> makeAdsRemoveNode(const CleanAppInfo& app,
                                                      const QByteArray& icon,
                                                      std::vector<std::string> folders) {
    auto node = std::make_shared<PRAppAdsRemoveNode>();
    node->setAppName(app.displayName);
    node->setAppImage(icon);
    node->setAppVersion(app.version);
    node->setAppBundleID(QString::fromStdString(app.bundleId));
    node->setAppAdsState(QString::fromLatin1(folders.empty() ? PRAppAdsRemoveNode::kStateNoAds
                                                             : PRAppAdsRemoveNode::kStateLive));
    node->setAppAdsPlatArray(folders);
    return node;
}

bool adsNodeGoesBefore(const PRAppAdsRemoveNode& a, const PRAppAdsRemoveNode& b) {
    return a.platformCount() > b.platformCount();
}

std::vector<std::shared_ptr<PRAppAdsRemoveNode>> sortedAdsRows(
    std::vector<std::shared_ptr<PRAppAdsRemoveNode>> rows) {
    std::stable_sort(rows.begin(), rows.end(),
                     [](const std::shared_ptr<PRAppAdsRemoveNode>& a,
                        const std::shared_ptr<PRAppAdsRemoveNode>& b) {
                         if (!a || !b) {
                             return a && !b;
                         }
                         return adsNodeGoesBefore(*a, *b);
                     });
    return rows;
}

// ---- removal ----

AdCacheRemover::AdCacheRemover(int deviceIndex, std::uint64_t deviceSerial,
                               std::vector<std::shared_ptr<PRAppAdsRemoveNode>> rows,
                               StopCheck stop)
    : device_(deviceIndex, deviceSerial, std::move(stop)) {
    for (auto& node : rows) {
        if (node && node->appAdsState() == QLatin1String(PRAppAdsRemoveNode::kStateLive)) {
            items_.push_back({node, node->appBundleID().toStdString(), node->appAdsPlatArray()});
        }
    }
}

AdRemovalReport AdCacheRemover::run() {
    for (const Item& item : items_) {
        if (device_.shouldStop()) {
            break;
        }
        removeApp(item);
        if (onAppDone) {
            onAppDone(item.node);
        }
    }
    report_.stopped = device_.stopped();
    return std::move(report_);
}

void AdCacheRemover::fail(const Item& item, const std::string& path, int code,
                          const QString& reason) {
    qWarning().noquote() << "Advertisement cache not removed:"
                         << QString::fromStdString(item.bundleId) << QString::fromStdString(path)
                         << reason;
    report_.failures.push_back({item.bundleId, path, code, reason});
}

void AdCacheRemover::removeApp(const Item& item) {
    if (!isValidBundleId(item.bundleId)) {
        fail(item, std::string(), -1, QStringLiteral("not an app identifier"));
        return;
    }
    amd::AppDirService container;
    if (const int rc = device_.bind(container, item.bundleId); rc != 0) {
        if (rc != CleanJobDevice::kStopped) {
            fail(item, std::string(), rc, QStringLiteral("the app's files could not be opened"));
        }
        return;
    }
    std::vector<std::string> left;
    for (const std::string& folder : item.folders) {
        if (device_.shouldStop()) {
            left.push_back(folder);
            continue;
        }
        if (!isCacheFolderPath(folder)) {
            fail(item, folder, -1, QStringLiteral("not an advertisement cache folder"));
            left.push_back(folder);
            continue;
        }
        const auto info = container.GetFileKindAndSize(folder);
        if (info && info->kind != "S_IFDIR") {
            fail(item, folder, -1, QStringLiteral("no longer a folder"));
            left.push_back(folder);
            continue;
        }
        // A folder that is gone already needs no removal, and is not counted as one.
        if (info) {
            if (const int rc = removeTree(container, item, folder, 0); rc != 0) {
                left.push_back(folder);
                continue;
            }
            ++report_.foldersRemoved;
        }
        // An empty file in the folder's place keeps the network from making the folder again.
        if (const int rc = container.WriteFile(folder, {}); rc != 0) {
            fail(item, folder, rc, QStringLiteral("the empty file could not be written"));
        }
    }
    item.node->setAppAdsPlatArray(left);
    if (left.empty()) {
        item.node->setAppAdsState(QString::fromLatin1(PRAppAdsRemoveNode::kStateRemoved));
        ++report_.appsRemoved;
    }
}

int AdCacheRemover::removeTree(amd::AfcService& afc, const Item& item, const std::string& folder,
                               int depth) {
    int result = 0;
    if (const auto names = afc.ReadDirectory(folder)) {
        for (const std::string& name : *names) {
            if (device_.shouldStop()) {
                return -1;
            }
            if (!isValidFileName(name)) {
                continue;
            }
            const std::string path = folder + "/" + name;
            const auto info = afc.GetFileKindAndSize(path);
            if (info && info->kind == "S_IFDIR") {
                if (depth >= CategoryWalk::kMaxWalkDepth) {
                    fail(item, path, -1, QStringLiteral("folders nested too deeply"));
                    result = -1;
                } else if (removeTree(afc, item, path, depth + 1) != 0) {
                    result = -1;
                }
                continue;
            }
            if (isProtectedDeviceFile(path)) {
                fail(item, path, -1, QStringLiteral("a protected file is never removed"));
                result = -1;
                continue;
            }
            if (const int rc = afc.RemovePath(path); rc != 0) {
                fail(item, path, rc, QStringLiteral("the device refused the removal"));
                result = rc;
            } else if (info) {
                report_.bytesFreed = nimbara::app::addSaturating(report_.bytesFreed, info->size);
            }
        }
    }
    if (result != 0) {
        return result;
    }
    if (const int rc = afc.RemovePath(folder); rc != 0) {
        fail(item, folder, rc, QStringLiteral("the device refused the removal"));
        return rc;
    }
    return 0;
}

}  // namespace nimbara::cleanup
