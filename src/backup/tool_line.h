// The lines nimbara-backup writes on its standard output while it works, read by the backup
// runner of the application. One line each, in UTF-8:
//
//   progress <percent>   how far the run is, 0 to 100 ("progress 42.5")
//   status <text>        what the run waits for or found, for the user to read
//   restarting           the device restarts now to take what was restored: it goes away and
//                        comes back (written once, just before a restore's answer)
//
// Any other line (the answer the tool ends with, for one) is no such line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nimbara::backup {

struct ToolLine {
    enum class Kind { Progress, Status, Restarting };
    Kind kind = Kind::Progress;
    double progress = 0;  // Progress: 0 to 100
    std::string text;     // Status
};

std::string progressLine(double percent);
// The text is made one line: control characters become spaces.
std::string statusLine(std::string_view text);
std::string restartingLine();
// nullopt for a line that is neither (or a progress figure that is not a number).
std::optional<ToolLine> parseToolLine(std::string_view line);

}  // namespace nimbara::backup
