#include "cleanup/ad_caches.h"

#include <QDebug>

#include <algorithm>
#include <cctype>
#include <utility>

#include "cleanup/clean_removal.h"
#include "device/afc_service.h"
#include "device/app_dir_service.h"
#include "platform/device_path.h"
#include "platform/log_categories.h"
#include "ui/core/text_utilities.h"

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
                qCInfo(lcCleanup).noquote() << "ads platform====" << QString::fromStdString(name);
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
    : device_(deviceIndex, deviceSerial, {}), stop_(std::move(stop)) {
    for (auto& node : rows) {
        if (node && node->appAdsState() == QLatin1String(PRAppAdsRemoveNode::kStateLive)) {
            rows_.push_back({node, node->appBundleID().toStdString(), node->appAdsPlatArray()});
        }
    }
}

// The folders of every row go to the clean-up's removal engine as one plan, row after row (so
// one container connection serves each app); paths that are no advertisement-cache folder of
// the app never reach it.
AdRemovalReport AdCacheRemover::run() {
    AdRemovalReport report;
    std::vector<CleanItem> plan;
    std::vector<std::vector<std::ptrdiff_t>> planIndex(rows_.size());
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        for (const std::string& folder : rows_[r].folders) {
            if (!isCacheFolderPath(folder)) {
                report.failures.push_back({rows_[r].bundleId, folder, -1,
                                           QStringLiteral("not an advertisement cache folder")});
                planIndex[r].push_back(-1);
                continue;
            }
            planIndex[r].push_back(static_cast<std::ptrdiff_t>(plan.size()));
            plan.push_back(adCacheItem(rows_[r].bundleId, folder));
        }
    }
    CleanRemovalReport removal;
    if (!plan.empty()) {
        CleanRemovalEngine engine({device_.index(), device_.serial()}, plan, {}, stop_);
        removal = engine.run();
    }
    for (const CleanFailure& failure : removal.failures) {
        report.failures.push_back(
            {plan[failure.item].bundleId, failure.path, failure.code, failure.reason});
    }
    for (const AdRemovalFailure& failure : report.failures) {
        qCWarning(lcCleanup).noquote()
            << "Advertisement cache not removed:" << QString::fromStdString(failure.bundleId)
            << QString::fromStdString(failure.path) << failure.reason;
    }
    report.bytesFreed = removal.freedBytes;
    report.stopped =
        removal.status == CleanRunStatus::DeviceGone || removal.status == CleanRunStatus::Cancelled;

    for (std::size_t r = 0; r < rows_.size(); ++r) {
        std::vector<std::string> left;
        bool tried = false;
        for (std::size_t f = 0; f < rows_[r].folders.size(); ++f) {
            const std::ptrdiff_t i = planIndex[r][f];
            const CleanItemOutcome outcome =
                i < 0 ? CleanItemOutcome::Kept : removal.outcomes[static_cast<std::size_t>(i)];
            tried = tried || outcome != CleanItemOutcome::NotTried;
            if (outcome == CleanItemOutcome::Removed) {
                ++report.foldersRemoved;
            } else if (outcome != CleanItemOutcome::Gone) {
                left.push_back(rows_[r].folders[f]);
            }
        }
        if (!tried && report.stopped) {
            continue;  // the run stopped before this row: it stays as it was
        }
        rows_[r].node->setAppAdsPlatArray(left);
        if (left.empty()) {
            rows_[r].node->setAppAdsState(QString::fromLatin1(PRAppAdsRemoveNode::kStateRemoved));
            ++report.appsRemoved;
        }
        if (onAppDone) {
            onAppDone(rows_[r].node);
        }
    }
    return report;
}

std::vector<CleanItem> adCachePlan(const std::vector<std::shared_ptr<PRAppAdsRemoveNode>>& rows) {
    std::vector<CleanItem> plan;
    for (const auto& row : rows) {
        for (const std::string& folder : row->appAdsPlatArray()) {
            plan.push_back(adCacheItem(row->appBundleID().toStdString(), folder));
        }
    }
    return plan;
}

int settleAdRows(const std::vector<std::shared_ptr<PRAppAdsRemoveNode>>& rows,
                 const std::vector<CleanItem>& plan, const CleanRemovalReport& report) {
    int removed = 0;
    for (const auto& row : rows) {
        const std::string bundleId = row->appBundleID().toStdString();
        std::vector<std::string> left;
        for (std::size_t i = 0; i < plan.size(); ++i) {
            if (plan[i].bundleId != bundleId) {
                continue;
            }
            const CleanItemOutcome outcome =
                i < report.outcomes.size() ? report.outcomes[i] : CleanItemOutcome::NotTried;
            if (outcome == CleanItemOutcome::Removed) {
                ++removed;
            } else if (outcome != CleanItemOutcome::Gone) {
                left.push_back(plan[i].devicePath);
            }
        }
        row->setAppAdsPlatArray(left);
        row->setAppAdsState(QLatin1String(left.empty() ? PRAppAdsRemoveNode::kStateRemoved
                                                       : PRAppAdsRemoveNode::kStateLive));
    }
    return removed;
}

QString adsSummaryText(const std::vector<std::shared_ptr<PRAppAdsRemoveNode>>& rows) {
    const auto live = std::count_if(rows.begin(), rows.end(), [](const auto& row) {
        return row->appAdsState() == QLatin1String(PRAppAdsRemoveNode::kStateLive);
    });
    return QStringLiteral("%1 of %2 apps keep advertisement caches.").arg(live).arg(rows.size());
}

QString adsRemovalQuestion(const std::vector<std::shared_ptr<PRAppAdsRemoveNode>>& rows) {
    return rows.size() == 1
               ? QStringLiteral("Remove the advertisement caches of \"%1\"?")
                     .arg(rows.front()->appName())
               : QStringLiteral("Remove the advertisement caches of %1 app(s)?").arg(rows.size());
}

QString adsRemovalDetail(const std::vector<std::shared_ptr<PRAppAdsRemoveNode>>& rows) {
    int folders = 0;
    for (const auto& row : rows) {
        folders += row->platformCount();
    }
    return rows.size() == 1
               ? QStringLiteral("%1 folder(s) are removed from the app on the device.").arg(folders)
               : QStringLiteral("%1 folder(s) are removed from the apps on the device.")
                     .arg(folders);
}

QString adsRemovedText(int folders, std::uint64_t bytesFreed) {
    return QStringLiteral("%1 advertisement cache folder(s) removed, %2 freed.")
        .arg(folders)
        .arg(nimbara::shell::size_to_unit(bytesFreed));
}

}  // namespace nimbara::cleanup
