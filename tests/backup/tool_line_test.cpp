// The lines the backup tool tells the application its progress and state with.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "backup/tool_line.h"

namespace nimbara::backup {
namespace {

TEST(ToolLineTest, LinesAreReadBackAsWritten) {
    struct Row {
        std::string line;
        std::optional<ToolLine::Kind> kind;
        double progress;
        std::string text;
    } rows[] = {
        {progressLine(42.54), ToolLine::Kind::Progress, 42.5, ""},
        {progressLine(150), ToolLine::Kind::Progress, 100, ""},
        {progressLine(-3), ToolLine::Kind::Progress, 0, ""},
        {progressLine(std::numeric_limits<double>::quiet_NaN()), ToolLine::Kind::Progress, 0, ""},
        {"progress 7\r", ToolLine::Kind::Progress, 7, ""},
        {statusLine("Enter the passcode\non the device"), ToolLine::Kind::Status, 0,
         "Enter the passcode on the device"},
        {"status ", ToolLine::Kind::Status, 0, ""},
        {restartingLine(), ToolLine::Kind::Restarting, 0, ""},
        {"restarting\r", ToolLine::Kind::Restarting, 0, ""},
        {"restarting now", std::nullopt, 0, ""},
        {"progress", std::nullopt, 0, ""},
        {"progress 4x", std::nullopt, 0, ""},
        {"progress nan", std::nullopt, 0, ""},
        {"Backed up to /b/UDID.", std::nullopt, 0, ""},
        {"", std::nullopt, 0, ""},
    };
    for (const Row& row : rows) {
        const auto parsed = parseToolLine(row.line);
        ASSERT_EQ(parsed.has_value(), row.kind.has_value()) << row.line;
        if (parsed) {
            EXPECT_EQ(parsed->kind, *row.kind) << row.line;
            EXPECT_DOUBLE_EQ(parsed->progress, row.progress) << row.line;
            EXPECT_EQ(parsed->text, row.text) << row.line;
        }
    }
}

}  // namespace
}  // namespace nimbara::backup
