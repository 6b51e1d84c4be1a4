// Shared pieces of the clean-up removal and export tests: a device with apps whose containers
// hold caches, cookies, temporary files and documents, and makers of the page's records and trees.
#pragma once

#include <gtest/gtest.h>

#include <QString>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cleanup/clean_removal.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "quick_clean_test_support.h"
#include "ui/core/app_tree_nodes.h"

namespace nimbara::test {

class CleanRemovalTest : public QuickCleanTest {
  protected:
    static constexpr const char* kMail = "com.example.mail";
    static constexpr const char* kGame = "com.example.game";

    simdev::SimDeviceBuilder& device() {
        if (!device_) {
            device_ = std::make_unique<simdev::SimDeviceBuilder>(builder("phone"));
        }
        return *device_;
    }
    void addApp(const std::string& bundleId, const std::string& name) {
        simdev::AppSpec app;
        app.bundleId = bundleId;
        app.displayName = name;
        device().addApp(app);
    }
    // Writes and attaches the device; its target.
    cleanup::CleanDeviceTarget attachDevice() {
        const int index = attachBuilt(device());
        EXPECT_GE(index, 0);
        return {index, serialOf(index)};
    }

    std::filesystem::path containerFile(const std::string& bundleId,
                                        const std::string& devicePath) const {
        return deviceDir("phone") / "apps" / bundleId / "container" / devicePath.substr(1);
    }
    bool inContainer(const std::string& bundleId, const std::string& devicePath) const {
        return std::filesystem::exists(containerFile(bundleId, devicePath));
    }

    // A found-file record of the app clean-up lists.
    static std::shared_ptr<PRCleanDirNode> record(const std::string& bundleId,
                                                  const std::string& path, std::uint64_t size) {
        auto node = std::make_shared<PRCleanDirNode>();
        node->setAppBundleName(QString::fromStdString(bundleId));
        node->setAppDisplayName(QString::fromStdString(bundleId));
        node->setFilePath(QString::fromStdString(path));
        node->setFileName(QString::fromStdString(path.substr(path.rfind('/') + 1)));
        node->setFileSizeNumber(size);
        return node;
    }

    // A clean tree as the tree builder makes it: top-level folder `app`, then one folder per
    // path component (hidden names without their dot), each entry in its folder.
    struct Tree {
        std::vector<std::shared_ptr<PRCleanDirNode>> top;

        std::shared_ptr<PRCleanDirNode> folder(const std::vector<std::string>& names) const {
            std::vector<std::shared_ptr<PRCleanDirNode>> level = top;
            std::shared_ptr<PRCleanDirNode> at;
            for (const std::string& name : names) {
                at.reset();
                for (const auto& candidate : level) {
                    if (candidate->fileDirName().toStdString() == name) {
                        at = candidate;
                    }
                }
                if (!at) {
                    return nullptr;
                }
                level = at->children();
            }
            return at;
        }

        void add(const std::string& app, const std::string& bundleId, const std::string& path,
                 std::uint64_t size) {
            std::vector<std::string> names{app};
            std::size_t at = 1;
            while (at < path.size()) {
                const std::size_t slash = path.find('/', at);
                const std::size_t end = slash == std::string::npos ? path.size() : slash;
                std::string name = path.substr(at, end - at);
                names.push_back(name.front() == '.' ? name.substr(1) : name);
                at = end + 1;
            }
            std::shared_ptr<PRCleanDirNode> parent;
            std::vector<std::string> walked;
            for (std::size_t i = 0; i + 1 < names.size(); ++i) {
                walked.push_back(names[i]);
                auto next = folder(walked);
                if (!next) {
                    next = std::make_shared<PRCleanDirNode>();
                    next->setFileDirName(QString::fromStdString(names[i]));
                    next->setAppBundleName(QString::fromStdString(bundleId));
                    next->setParent(parent);
                    if (parent) {
                        parent->addChildren(next);
                    } else {
                        top.push_back(next);
                    }
                }
                parent = next;
            }
            auto entry = std::make_shared<PRCleanFileNode>();
            entry->setFileName(QString::fromStdString(names.back()));
            entry->setFilePath(QString::fromStdString(path));
            entry->setAppBundleName(QString::fromStdString(bundleId));
            entry->setFileSizeNumber(size);
            entry->setParent(parent);
            parent->addFileChildren(entry);
        }
    };

    std::unique_ptr<simdev::SimDeviceBuilder> device_;
};

}  // namespace nimbara::test
