// File > Open archived app on a launched hub: without a device it only says so; with one, the
// chosen archive is checked, the user asked, and only a confirmed install changes the device.
#include <QAction>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/archived_app_install_flow.h"
#include "delegate_fixture.h"
#include "platform/scratch_dir.h"
#include "transfer/archived_app_install.h"
#include "ui/save_panel.h"

namespace fs = std::filesystem;

namespace nimbara::test {
namespace {

constexpr const char* kNotes = "com.example.notes";

std::string plist(const std::vector<std::pair<const char*, const char*>>& values) {
    PlistValue dict = PlistValue::dict();
    for (const auto& [key, value] : values) {
        dict[key] = value;
    }
    return dict.toXml();
}

class ArchivedAppMenuTest : public DelegateTest {
  protected:
    int attachPhone() {
        simdev::SimDeviceBuilder b(tmp_ / "phone");
        b.setIdentity("Ann's Phone", "phone");
        simdev::AppSpec app;
        app.bundleId = kNotes;
        app.displayName = "Notes";
        b.addApp(app);
        b.addContainerText(kNotes, "/Documents/note.txt", "my note");
        EXPECT_TRUE(b.write());
        return attach((tmp_ / "phone").string());
    }
    std::vector<std::string> appsState() const {
        std::vector<std::string> state;
        for (const auto& file : filesBelow(tmp_ / "phone/apps")) {
            state.push_back(file + "=" + readText(tmp_ / "phone/apps" / file));
        }
        return state;
    }
    // Chooses `file` (nullopt: cancels) in the panel of the menu item; the questions asked are
    // answered with `answer` and recorded.
    void openArchivedApp(std::optional<fs::path> file, Alerts::Answer answer) {
        ui::ScopedHandler<ui::OpenPanel::Handler> panel(
            ui::OpenPanel::handler(), [&](QWidget*, const ui::OpenPanel::Request& request) {
                requests_.push_back(request);
                panelUp_ = hub().theArchiveOpenPanel();
                return file ? std::optional<QString>(QString::fromStdString(file->string()))
                            : std::nullopt;
            });
        Alerts::ScopedHandler alerts([&](QWidget*, const Alerts::Question& question) {
            asked_.push_back(question);
            if (question.defaultButton == "Install" && detachAtQuestion_) {
                detach("phone");
            }
            return answer;
        });
        ui().openArchiveItem->trigger();
        const auto* flow = hub().archivedAppInstall();
        EXPECT_TRUE(pumpUntil([&] {
            return (!flow || (!flow->busy() && flow->ending() == 0)) &&
                   folderNames(scratchFolder("app-archives")).empty();
        }));
    }

    std::vector<ui::OpenPanel::Request> requests_;
    std::vector<Alerts::Question> asked_;
    bool panelUp_ = false;
    bool detachAtQuestion_ = false;
};

TEST_F(ArchivedAppMenuTest, OnlyAnArchiveConfirmedForTheDeviceStillThereChangesIt) {
    // Without a device it only says so.
    openArchivedApp(tmp_ / "any.zip", Alerts::Answer::Default);
    EXPECT_TRUE(requests_.empty());
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_NE(asked_[0].message.indexOf("Connect your device"), -1);

    ASSERT_GE(attachPhone(), 0);
    const fs::path good = tmp_ / "notes.zip";
    ASSERT_TRUE(writeZip(good, {{"iTunesMetadata.plist", plist({{"softwareVersionBundleId", kNotes},
                                                                {"itemName", "Notes"}})},
                                {"Payload/Notes.app/Info.plist",
                                 plist({{"CFBundleIdentifier", kNotes}, {"CFBundleVersion", "2"}})},
                                {"Payload/Notes.app/Notes", "version 2"}}));
    const fs::path other = tmp_ / "photos.zip";
    ASSERT_TRUE(writeZip(other, {{"Payload/Notes.app/Info.plist", "x"}}));
    struct Case {
        const char* what;
        std::optional<fs::path> file;
        Alerts::Answer answer;
        std::vector<std::string> alerts;  // the default buttons of the alerts asked, in order
        bool installs;
        bool detachAtQuestion = false;
    };
    const std::vector<Case> cases = {
        {"panel cancelled", std::nullopt, Alerts::Answer::Default, {}, false},
        {"not an archive", other, Alerts::Answer::Default, {" OK "}, false},
        {"cancel at the question", good, Alerts::Answer::Alternate, {"Install"}, false},
        {"confirmed", good, Alerts::Answer::Default, {"Install", "OK"}, true},
        {"device gone at the question",
         good,
         Alerts::Answer::Default,
         {"Install", "OK"},
         false,
         true},
    };
    // The panel starts in the export folder, then where the last archive was chosen.
    QString start = hub().nimbaraExportPath();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        requests_.clear();
        asked_.clear();
        detachAtQuestion_ = c.detachAtQuestion;
        const std::vector<std::string> before = appsState();
        openArchivedApp(c.file, c.answer);
        ASSERT_EQ(requests_.size(), 1u);
        EXPECT_TRUE(panelUp_);
        EXPECT_EQ(requests_[0].title.toStdString(), "Install the app archived last time.");
        EXPECT_EQ(requests_[0].directory, start);
        if (c.file) {
            start = QString::fromStdString(c.file->parent_path().string());
        }
        EXPECT_NE(requests_[0].nameFilter.indexOf("*.zip"), -1);
        EXPECT_FALSE(hub().theArchiveOpenPanel());
        std::vector<std::string> buttons;
        for (const Alerts::Question& question : asked_) {
            buttons.push_back(question.defaultButton.toStdString());
        }
        EXPECT_EQ(buttons, c.alerts);
        if (std::string(c.what) == "not an archive") {
            EXPECT_EQ(asked_.back().message.toStdString(), transfer::kNotAnAppArchiveText);
        }
        if (!c.alerts.empty() && c.alerts.front() == "Install") {
            EXPECT_EQ(asked_.front().message.toStdString(),
                      "Install Notes (com.example.notes) from notes.zip on Ann's Phone?");
            EXPECT_NE(asked_.front().informativeText.indexOf("is replaced"), -1);
        }
        if (c.installs) {
            EXPECT_EQ(readText(tmp_ / "phone/apps" / kNotes / "bundle/Notes"), "version 2");
            EXPECT_EQ(readText(tmp_ / "phone/apps" / kNotes / "container/Documents/note.txt"),
                      "my note");
            EXPECT_NE(asked_.back().message.indexOf("was installed"), -1);
        } else {
            EXPECT_EQ(appsState(), before);
        }
        if (c.detachAtQuestion) {
            EXPECT_NE(asked_.back().message.indexOf("was disconnected, so nothing was installed"),
                      -1)
                << asked_.back().message.toStdString();
        }
    }
}

}  // namespace
}  // namespace nimbara::test
