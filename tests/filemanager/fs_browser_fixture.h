// The device file-system browser on a fake host showing the demo device: the sidebar's entry as
// the shell takes it, the host's indicator, the page's tree and table, and panels that tests
// answer.
#pragma once

#include <QItemSelectionModel>
#include <QLabel>
#include <QTableView>
#include <QTreeView>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device_page_fixture.h"
#include "filemanager/pages/pr_phone_system_view_controller.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/notification_center.h"
#include "platform/plist_value.h"
#include "ui/save_panel.h"

namespace nimbara::test {

class FsBrowserTest : public DevicePageTest {
  protected:
    using DirPtr = std::shared_ptr<PRPhoneSystemDirNode>;
    using FilePtr = std::shared_ptr<PRPhoneSystemFileNode>;

    void SetUp() override {
        DevicePageTest::SetUp();
        demo_ = tmp_ / "demo";
        index_ = attachDemoDevice(demo_);
        ASSERT_GE(index_, 0);
        container_ = std::make_unique<QWidget>();
        container_->resize(960, 640);
        page_ = std::make_unique<PRPhoneSystemViewController>(host_);
        finishedToken_ = NotificationCenter::defaultCenter().addObserver(
            "SystemlibhasFinished", [this](const Notification& n) {
                ++finished_;
                EXPECT_FALSE(n.object.has_value());
            });
        savePanel_.emplace(
            ui::SavePanel::handler(),
            [this](QWidget*, const ui::SavePanel::Request&) -> std::optional<QString> {
                ++panels_;
                return chosenFolder_;
            });
        openPanel_.emplace(
            ui::OpenPanel::handler(),
            [this](QWidget*, const ui::OpenPanel::Request&) -> std::optional<QString> {
                return chosenFile_;
            });
        viewer_.emplace(ui::FileViewer::handler(),
                        [this](const QString& folder) { revealed_.push_back(folder); });
        page().setJobEndedCallback([this] { ++jobs_; });
    }
    void TearDown() override {
        page_.reset();
        container_.reset();
        finishedToken_ = {};
        savePanel_.reset();
        openPanel_.reset();
        viewer_.reset();
        DevicePageTest::TearDown();
    }

    PRPhoneSystemViewController& page() { return *page_; }
    PhoneSystemUi& sui() { return page().systemUi(); }
    std::filesystem::path media(const std::string& path) const {
        return demo_ / md::sim::kMediaDir / path;
    }

    bool spinning() const { return host_.indicatorOn(BusyMark::SystemFiles); }
    // The sidebar's entry: the page shows its view and reads the device on show.
    void clickSystemLib() {
        page().showPhoneSystemView(container_.get());
        page().LookupSystemTree(host_.currentDeviceTarget().deviceIndex);
    }
    bool waitWalked() {
        return pumpUntil([this] { return !page().bScanStart(); }) && page().bLoadFinished();
    }
    void walk() {
        clickSystemLib();
        ASSERT_TRUE(waitWalked());
    }
    // Runs the event loop until the page's jobs ended (`count` more of them).
    bool waitJobs(int count = 1) {
        const int target = jobs_ + count;
        return pumpUntil([&] { return jobs_ >= target && !page().busy(); });
    }

    // The outline folder reached through `names` below "System" (itself for none).
    DirPtr folderAt(const std::vector<QString>& names) {
        const auto& top = page().GetLibTreeController()->content();
        if (top.empty()) {
            return nullptr;
        }
        DirPtr at = top.front();
        for (const QString& name : names) {
            DirPtr next;
            for (const auto& child : at->children()) {
                if (child->fileDirName() == name) {
                    next = child;
                }
            }
            if (!next) {
                return nullptr;
            }
            at = next;
        }
        return at;
    }
    static FilePtr entryNamed(const DirPtr& folder, const QString& name) {
        if (!folder) {
            return nullptr;
        }
        for (const auto& e : folder->fileChildren()) {
            if (e->fileName() == name) {
                return e;
            }
        }
        return nullptr;
    }
    void forEachEntry(const std::function<void(const PRPhoneSystemFileNode&)>& visit) {
        std::vector<DirPtr> pending(page().GetLibTreeController()->content());
        while (!pending.empty()) {
            const DirPtr folder = pending.back();
            pending.pop_back();
            for (const auto& e : folder->fileChildren()) {
                visit(*e);
            }
            for (const auto& c : folder->children()) {
                pending.push_back(c);
            }
        }
    }

    void selectFolder(const DirPtr& folder) {
        ASSERT_NE(folder, nullptr);
        const QModelIndex index = page().outlineModel()->indexOf(folder.get());
        ASSERT_TRUE(index.isValid());
        sui().theOutlineView->selectionModel()->select(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    // Selects the table rows of the entries named, in the folder shown.
    void selectEntries(const std::vector<QString>& names) {
        QTableView* table = sui().theTableView;
        table->clearSelection();
        const auto* model = page().libFileController();
        for (int row = 0; row < model->rowCount(); ++row) {
            for (const QString& name : names) {
                if (model->entryAt(row)->fileName() == name) {
                    table->selectionModel()->select(
                        model->index(row, 0),
                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
                }
            }
        }
    }
    // Shows `folder` and selects its entries named.
    void choose(const DirPtr& folder, const std::vector<QString>& names) {
        selectFolder(folder);
        selectEntries(names);
    }

    void setFault(const char* key, const PlistValue& value = {}) {
        setDeviceFault(demo_, key, value);
    }

    std::filesystem::path demo_;
    int index_ = -1;
    std::unique_ptr<QWidget> container_;
    std::unique_ptr<PRPhoneSystemViewController> page_;
    int finished_ = 0;
    int jobs_ = 0;
    int panels_ = 0;
    std::optional<QString> chosenFolder_;
    std::optional<QString> chosenFile_;
    std::vector<QString> revealed_;
    ObserverToken finishedToken_;
    std::optional<ui::ScopedHandler<ui::SavePanel::Handler>> savePanel_;
    std::optional<ui::ScopedHandler<ui::OpenPanel::Handler>> openPanel_;
    std::optional<ui::ScopedHandler<ui::FileViewer::Handler>> viewer_;
};

}  // namespace nimbara::test
