// Helpers of the export writer tests: a small vCard reader that checks the card's shape as it
// reads it, a file-size limit that makes writes fail as on a full disk, and a look at a folder.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace nimbara::test {

struct VCardProperty {
    std::string name;
    std::string params;                   // as written, without the leading ";"
    std::vector<std::string> components;  // the value split at unescaped ";", unescaped
    std::string value() const { return components.empty() ? std::string() : components[0]; }
};

struct VCard {
    std::vector<VCardProperty> properties;
    std::string error;  // what is wrong with the card's shape; empty when it is sound

    const VCardProperty* find(const std::string& name) const {
        for (const auto& p : properties) {
            if (p.name == name) {
                return &p;
            }
        }
        return nullptr;
    }
};

inline bool validUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80         ? 1
                              : (c >> 5) == 6  ? 2
                              : (c >> 4) == 14 ? 3
                              : (c >> 3) == 30 ? 4
                                               : 0;
        if (n == 0 || i + n > s.size()) {
            return false;
        }
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += n;
    }
    return true;
}

// Reads one vCard 3.0: every physical line ends in CR LF and holds at most 75 bytes of valid
// UTF-8; folded lines are joined; BEGIN, VERSION:3.0, FN and N are required; escapes are undone.
inline VCard parseVCard(const std::string& text) {
    VCard card;
    std::vector<std::string> physical;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            card.error = "a line does not end in CR LF";
            return card;
        }
        const std::string line = text.substr(pos, end - pos);
        if (line.find('\n') != std::string::npos || line.find('\r') != std::string::npos) {
            card.error = "a bare line break inside a line";
            return card;
        }
        if (line.size() > 75) {
            card.error = "a line longer than 75 bytes: " + line;
            return card;
        }
        if (!validUtf8(line)) {
            card.error = "a line that is not UTF-8 on its own: " + line;
            return card;
        }
        physical.push_back(line);
        pos = end + 2;
    }
    std::vector<std::string> logical;
    for (const auto& line : physical) {
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
            if (logical.empty()) {
                card.error = "a continuation line first";
                return card;
            }
            logical.back() += line.substr(1);
        } else {
            logical.push_back(line);
        }
    }
    for (const auto& line : logical) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            card.error = "a line without a colon: " + line;
            return card;
        }
        VCardProperty p;
        const std::string head = line.substr(0, colon);
        const std::size_t semi = head.find(';');
        p.name = head.substr(0, semi);
        p.params = semi == std::string::npos ? std::string() : head.substr(semi + 1);
        std::string current;
        const std::string raw = line.substr(colon + 1);
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\\' && i + 1 < raw.size()) {
                const char next = raw[++i];
                current += (next == 'n' || next == 'N') ? '\n' : next;
            } else if (raw[i] == '\\') {
                card.error = "a lone backslash at a value's end";
                return card;
            } else if (raw[i] == ';') {
                p.components.push_back(current);
                current.clear();
            } else {
                current += raw[i];
            }
        }
        p.components.push_back(current);
        card.properties.push_back(p);
    }
    if (card.properties.size() < 4 || card.properties.front().name != "BEGIN" ||
        card.properties.front().value() != "VCARD" || card.properties[1].name != "VERSION" ||
        card.properties[1].value() != "3.0" || card.properties.back().name != "END" ||
        card.properties.back().value() != "VCARD") {
        card.error = "not framed by BEGIN:VCARD, VERSION:3.0 and END:VCARD";
    } else if (card.find("FN") == nullptr || card.find("FN")->value().empty()) {
        card.error = "no FN";
    } else if (card.find("N") == nullptr || card.find("N")->components.size() != 5) {
        card.error = "no structured N";
    }
    return card;
}

// While it lives, no file of this process may grow beyond `bytes`: a write past that fails as on
// a full disk (EFBIG; the signal that would end the process is ignored meanwhile).
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

// True when folder permissions hold for this process (they don't for root).
inline bool permissionsApply() {
    return ::geteuid() != 0;
}

}  // namespace nimbara::test
