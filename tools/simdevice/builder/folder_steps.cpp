#include "folder_steps.h"

#include <system_error>

namespace nimbara::simdev {

namespace fs = std::filesystem;

namespace {

void check(const std::error_code& ec, const char* what, const fs::path& path) {
    if (ec) {
        throw fs::filesystem_error(what, path, ec);
    }
}

template <class Iterator>
void visitAll(Iterator it, const fs::path& folder,
              const std::function<void(const fs::directory_entry&)>& visit) {
    std::error_code ec;
    for (; it != Iterator(); it.increment(ec)) {
        check(ec, "cannot read the folder", folder);
        visit(*it);
    }
    check(ec, "cannot read the folder", folder);
}

}  // namespace

void makeFolders(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    check(ec, "cannot make the folder", folder);
}

void removeFile(const fs::path& file) {
    std::error_code ec;
    fs::remove(file, ec);
    check(ec, "cannot remove", file);
}

bool isRegularFile(const fs::path& file) {
    std::error_code ec;
    return fs::is_regular_file(file, ec);
}

void linkFile(const fs::path& file, const fs::path& link) {
    std::error_code ec;
    fs::create_hard_link(file, link, ec);
    check(ec, "cannot link", link);
}

void resizeFile(const fs::path& file, std::uintmax_t size) {
    std::error_code ec;
    fs::resize_file(file, size, ec);
    check(ec, "cannot size file", file);
}

void addExecutePermission(const fs::path& file) {
    std::error_code ec;
    fs::permissions(file, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add, ec);
    check(ec, "cannot make executable", file);
}

void copyFileAndTime(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    check(ec, "cannot copy to", to);
    const fs::file_time_type time = fs::last_write_time(from, ec);
    check(ec, "cannot read the modification time of", from);
    fs::last_write_time(to, time, ec);
    check(ec, "cannot set the modification time", to);
}

fs::path resolvedPath(const fs::path& path) {
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(path, ec);
    check(ec, "cannot resolve", path);
    return resolved;
}

void forEachEntry(const fs::path& folder, bool recursive,
                  const std::function<void(const fs::directory_entry&)>& visit) {
    std::error_code ec;
    const fs::file_status status = fs::status(folder, ec);
    if (status.type() == fs::file_type::not_found ||
        (fs::status_known(status) && !fs::is_directory(status))) {
        return;
    }
    check(ec, "cannot read the folder", folder);
    if (recursive) {
        fs::recursive_directory_iterator it(folder, ec);
        check(ec, "cannot read the folder", folder);
        visitAll(std::move(it), folder, visit);
    } else {
        fs::directory_iterator it(folder, ec);
        check(ec, "cannot read the folder", folder);
        visitAll(std::move(it), folder, visit);
    }
}

}  // namespace nimbara::simdev
