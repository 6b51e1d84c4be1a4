#include "platform/unique_folder.h"

#include <cstdlib>
#include <system_error>
#include <vector>

namespace nimbara {

namespace fs = std::filesystem;

UniqueFolder::UniqueFolder(const fs::path& parent, const std::string& prefix) {
    const std::string pattern = (parent / (prefix + "-XXXXXX")).string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data())) {
        path_ = buf.data();
    }
}

UniqueFolder::~UniqueFolder() {
    if (!path_.empty()) {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
}

}  // namespace nimbara
