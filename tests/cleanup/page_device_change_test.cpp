// The clean-up pages hearing of another device: each takes the device's index (none for an empty
// target) and goes back to its start, as the shell did by hand before.
#include <gtest/gtest.h>

#include <QWidget>

#include <string>
#include <vector>

#include "../app/app_test_support.h"
#include "cleanup/pages/pr_clean_view_controller.h"
#include "cleanup/pages/pr_find_large_file_view_controller.h"
#include "cleanup/pages/pr_system_boost_view_controller.h"
#include "cleanup/pages/system_boost_ui.h"
#include "fake_page_host.h"
#include "ui/page_call_log.h"

namespace {

using nimbara::ui::PageCallLog;

TEST(CleanupPagesDeviceChange, TakeTheIndexAndReset) {
    nimbara::test::ensureApplication();
    struct Case {
        const char* name;
        amd::DeviceTarget target;
        int indexAfter;  // each page had index 1 before
        std::vector<std::string> calls;
    };
    const std::vector<Case> cases = {
        {"device",
         {3, 77},
         3,
         {"PRFindLargeFileViewController::setDeviceIndex(3)",
          "PRFindLargeFileViewController::initAllDataAndAllView()",
          "PRCleanViewController::NimbaraShowDeviceClean(3)",
          "PRCleanViewController::initAllDataAndAllView()",
          "PRSystemBoostViewController::setDeviceIndex(3)",
          "PRSystemBoostViewController::initAllDataAndAllView()"}},
        {"none left",
         {},
         1,
         {"PRFindLargeFileViewController::initAllDataAndAllView()",
          "PRCleanViewController::initAllDataAndAllView()",
          "PRSystemBoostViewController::initAllDataAndAllView()"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        nimbara::test::FakePageHost host;
        PRFindLargeFileViewController largeFiles(host);
        PRCleanViewController clean(host);
        PRSystemBoostViewController boost(host);
        largeFiles.setDeviceIndex(1);
        clean.NimbaraShowDeviceClean(1);
        boost.setDeviceIndex(1);
        // Each page away from its start view.
        largeFiles.finderUi();
        largeFiles.showAppLargerFileView();
        clean.showCleanCookView();
        boost.boostUi();
        boost.showResultView();
        PageCallLog::clear();

        largeFiles.deviceChanged(c.target);
        clean.deviceChanged(c.target);
        boost.deviceChanged(c.target);

        EXPECT_EQ(PageCallLog::entries(), c.calls);
        EXPECT_EQ(largeFiles.deviceIndex(), c.indexAfter);
        EXPECT_EQ(clean.cleanDevice(), c.indexAfter);
        EXPECT_EQ(boost.deviceIndex(), c.indexAfter);
        EXPECT_EQ(largeFiles.shownView(), "mainTableView");
        EXPECT_EQ(clean.shownView(), "cleanDiskView");
        EXPECT_TRUE(boost.boostUi().ResultView->isHidden());
        EXPECT_FALSE(boost.boostUi().mainView->isHidden());
    }
    PageCallLog::clear();
}

}  // namespace
