#include "sim_profile.h"

#include <array>
#include <charconv>
#include <vector>

namespace nimbara::usbmuxsim {

namespace {

struct ProfileTraits {
    Profile profile;
    const char* name;
    bool validatePair;
    bool sessionTls;
    bool serviceTls;
    const char* lowestVersion;  // empty: none
    const char* lowestBuild;    // the build of that version
    std::chrono::milliseconds diskUsageDelay;
};

constexpr std::array<ProfileTraits, 3> kProfiles = {{
    {Profile::Legacy, "legacy", true, false, false, "", "", std::chrono::milliseconds(0)},
    {Profile::Ios11, "ios11", false, true, false, "11.4.1", "15G77", std::chrono::milliseconds(0)},
    {Profile::Ios17, "ios17", false, true, true, "17.5.1", "21F90", std::chrono::milliseconds(300)},
}};

const ProfileTraits& traits(Profile profile) {
    for (const auto& entry : kProfiles) {
        if (entry.profile == profile) {
            return entry;
        }
    }
    return kProfiles.back();
}

// "17.5.1" as {17, 5, 1}; empty when it is not dotted numbers.
std::vector<int> versionParts(std::string_view text) {
    std::vector<int> parts;
    while (!text.empty()) {
        int part = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), part);
        if (ec != std::errc() || (end != text.data() + text.size() && *end != '.')) {
            return {};
        }
        parts.push_back(part);
        text.remove_prefix(static_cast<std::size_t>(end - text.data()));
        if (!text.empty()) {
            text.remove_prefix(1);
            if (text.empty()) {
                return {};
            }
        }
    }
    return parts;
}

}  // namespace

std::optional<Profile> parseProfile(std::string_view name) {
    for (const auto& entry : kProfiles) {
        if (name == entry.name) {
            return entry.profile;
        }
    }
    return std::nullopt;
}

const char* profileName(Profile profile) {
    return traits(profile).name;
}

bool acceptsValidatePair(Profile profile) {
    return traits(profile).validatePair;
}

bool sessionTls(Profile profile) {
    return traits(profile).sessionTls;
}

bool serviceTls(Profile profile) {
    return traits(profile).serviceTls;
}

std::chrono::milliseconds diskUsageDelay(Profile profile) {
    return traits(profile).diskUsageDelay;
}

std::string servedProductVersion(Profile profile, const std::string& own) {
    const std::string lowest = traits(profile).lowestVersion;
    if (lowest.empty()) {
        return own;
    }
    const auto ownParts = versionParts(own);
    if (ownParts.empty() || ownParts < versionParts(lowest)) {
        return lowest;
    }
    return own;
}

std::string servedBuildVersion(Profile profile) {
    return traits(profile).lowestBuild;
}

}  // namespace nimbara::usbmuxsim
