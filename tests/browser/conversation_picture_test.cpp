// The picture of a conversation: PNG data of the whole chat column (cut when too tall), saved in
// the Desktop's "Ozzaro" folder under the conversation's name made safe, never replacing an
// earlier picture, and every failure told instead of a picture.
#include "browser/conversation_picture.h"

#include <gtest/gtest.h>

#include <QPushButton>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "../app/app_test_support.h"
#include "../backup/export_test_support.h"
#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"
#include "browser/pages/conversation_picture_export.h"
#include "test_support.h"
#include "ui/chat_column_view.h"

namespace nimbara::browser {
namespace {

namespace fs = std::filesystem;
using nimbara::test::readText;
using nimbara::test::TempDir;

const QByteArray kPng = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray("picture");

TEST(ConversationPictureTest, NamedAfterTheConversationMadeSafeAndNeverReplacing) {
    const std::pair<QString, std::string> rows[] = {
        {QStringLiteral("Mom"), "Mom_MessageImage"},
        {QStringLiteral("a/b"), "a_b_MessageImage"},
        {QStringLiteral(".."), "__MessageImage"},
        {QString(), "_MessageImage"},
        {QString(300, QChar(0xE9)), ""},  // 600 bytes of UTF-8: shortened, its ending kept
    };
    for (const auto& [name, stem] : rows) {
        TempDir desktop;
        const auto first = writeConversationPicture(desktop.path(), name, kPng);
        const auto second = writeConversationPicture(desktop.path(), name, kPng);
        ASSERT_TRUE(first.ok && second.ok) << first.error.toStdString();
        EXPECT_EQ(first.file.parent_path(), desktop / "Ozzaro");
        EXPECT_EQ(readText(first.file), kPng.toStdString());
        const std::string a = first.file.filename().string();
        const std::string b = second.file.filename().string();
        EXPECT_TRUE(stem.empty() ? a.ends_with("_MessageImage.png") : a == stem + ".png") << a;
        EXPECT_EQ(b, a.substr(0, a.size() - 4) + " (2).png") << "an earlier picture is kept";
        EXPECT_TRUE(b.size() <= 255 && nimbara::test::validUtf8(b)) << b;
    }
}

TEST(ConversationPictureTest, AFailureIsToldAndLeavesNoFile) {
    const std::pair<std::string, const char*> rows[] = {
        {"desktop is a file", "Desktop folder"},
        {"folder is a file", "folder for the picture could not be made"},
        {"disk full", "could not be saved"},
        {"not png", "could not be made"}};
    for (const auto& [why, told] : rows) {
        TempDir tmp;
        const fs::path desktop = tmp / (why == "desktop is a file" ? "Desktop" : "");
        if (why == "desktop is a file") {
            nimbara::test::writeText(desktop, "x");
        }
        if (why == "folder is a file") {
            nimbara::test::writeText(desktop / "Ozzaro", "x");
        }
        std::optional<nimbara::test::FileSizeLimit> full;
        if (why == "disk full") {
            full.emplace(4);
        }
        const auto result = writeConversationPicture(
            desktop, QStringLiteral("Mom"), why == "not png" ? QByteArray("GIF89a....") : kPng);
        full.reset();
        EXPECT_FALSE(result.ok) << why;
        EXPECT_TRUE(result.error.contains(QLatin1String(told))) << result.error.toStdString();
        EXPECT_TRUE(nimbara::test::filesBelow(desktop / "Ozzaro").empty()) << why;
    }
}

TEST(ConversationPictureTest, AMissingDesktopAndItsFolderAreMade) {
    TempDir tmp;
    const auto result =
        writeConversationPicture(tmp / "home" / "Desktop", QStringLiteral("Mom"), kPng);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.file.parent_path().filename(), "Ozzaro");
    EXPECT_TRUE(fs::is_regular_file(result.file));
}

std::shared_ptr<PRMessageTreeNode> conversation(int messages, int linesEach) {
    auto tree = std::make_shared<PRMessageTreeNode>();
    tree->setMessageTreeNodeName(QStringLiteral("Mom"));
    for (int i = 0; i < messages; ++i) {
        auto m = std::make_shared<PRMessageNode>();
        m->setMessageType(QStringLiteral("Received"));
        m->setMessageContent(QStringLiteral("line\n").repeated(linesEach));
        tree->addMessageNode(m);
    }
    return tree;
}

TEST(ConversationPictureTest, AColumnTallerThanOnePictureIsCut) {
    nimbara::test::ensureApplication();
    ChatColumnView column;
    column.resize(425, 300);
    column.showConversation(conversation(3, 1200));
    const ColumnPicture tall = captureChatColumn(column);
    EXPECT_TRUE(tall.cut);
    EXPECT_EQ(tall.image.height(), kMaxPictureHeight);
    EXPECT_TRUE(isPngData(pngData(tall.image)));
    column.showConversation(nullptr);
    EXPECT_TRUE(captureChatColumn(column).image.isNull()) << "nothing shown, no picture";
}

}  // namespace
}  // namespace nimbara::browser

TEST(ConversationPictureTest, ThePictureHoldsEveryElementWhole) {
    struct Row {
        const char* what;
        QSize document;
        QList<QRect> elements;
        QSize expected;
    };
    const Row rows[] = {
        {"inside", {425, 500}, {{0, 0, 240, 80}, {167, 90, 240, 80}}, {425, 500}},
        {"sent past the right", {380, 500}, {{167, 90, 240, 80}}, {415, 500}},
        {"last past the bottom", {425, 300}, {{0, 250, 240, 80}}, {425, 338}},
        {"empty ignored", {425, 300}, {{900, 900, 0, 0}}, {425, 300}},
    };
    for (const Row& row : rows) {
        const QSize size = nimbara::browser::pictureSizeHolding(row.document, row.elements);
        EXPECT_EQ(size, row.expected) << row.what;
        for (const QRect& r : row.elements) {
            EXPECT_TRUE(r.isEmpty() || QRect(QPoint(), size).contains(r)) << row.what;
        }
    }
}
