#include "backup/tool_line.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace nimbara::backup {

namespace {

constexpr std::string_view kProgress = "progress ";
constexpr std::string_view kStatus = "status ";
constexpr std::string_view kRestarting = "restarting";

}  // namespace

std::string progressLine(double percent) {
    if (!std::isfinite(percent)) {
        percent = 0;
    }
    char text[32];
    std::snprintf(text, sizeof text, "progress %.1f", std::clamp(percent, 0.0, 100.0));
    return text;
}

std::string statusLine(std::string_view text) {
    std::string line(kStatus);
    for (const char c : text) {
        line.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c);
    }
    return line;
}

std::string restartingLine() {
    return std::string(kRestarting);
}

std::optional<ToolLine> parseToolLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line == kRestarting) {
        ToolLine parsed;
        parsed.kind = ToolLine::Kind::Restarting;
        return parsed;
    }
    if (line.starts_with(kStatus)) {
        ToolLine parsed;
        parsed.kind = ToolLine::Kind::Status;
        parsed.text = std::string(line.substr(kStatus.size()));
        return parsed;
    }
    if (!line.starts_with(kProgress)) {
        return std::nullopt;
    }
    const std::string_view figure = line.substr(kProgress.size());
    double value = 0;
    const auto [end, error] = std::from_chars(figure.data(), figure.data() + figure.size(), value);
    if (error != std::errc() || end != figure.data() + figure.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    ToolLine parsed;
    parsed.progress = std::clamp(value, 0.0, 100.0);
    return parsed;
}

}  // namespace nimbara::backup
