#include "platform/mobiledevice/sim/sim_files.h"

#include <zip.h>

#include <algorithm>
#include <fstream>
#include <system_error>

#include "platform/mobiledevice/sim/sim_area.h"
#include "platform/zip_unpack.h"

namespace fs = std::filesystem;

namespace nimbara::md::sim {

namespace {

std::vector<fs::directory_entry> sortedEntries(const fs::path& dir) {
    std::vector<fs::directory_entry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        entries.push_back(*it);
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.path().filename() < b.path().filename();
    });
    return entries;
}

// Makes `path` a real folder: a link there is removed first.
bool ensureRealDirectory(const fs::path& path) {
    std::error_code ec;
    const auto status = fs::symlink_status(path, ec);
    if (fs::is_symlink(status)) {
        fs::remove(path, ec);
        if (ec) {
            return false;
        }
    } else if (fs::is_directory(status)) {
        return true;
    } else if (fs::exists(status)) {
        return false;
    }
    fs::create_directory(path, ec);
    return !ec;
}

zip_t* asZip(void* p) {
    return static_cast<zip_t*>(p);
}

}  // namespace

bool copyTree(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(from, ec)) || !ensureRealDirectory(to)) {
        return false;
    }
    for (const auto& entry : sortedEntries(from)) {
        const auto status = entry.symlink_status(ec);
        const fs::path target = to / entry.path().filename();
        if (fs::is_directory(status)) {
            if (!copyTree(entry.path(), target)) {
                return false;
            }
        } else if (fs::is_regular_file(status)) {
            if (fs::is_symlink(fs::symlink_status(target, ec))) {
                fs::remove(target, ec);
            }
            fs::copy_file(entry.path(), target, fs::copy_options::overwrite_existing, ec);
            if (ec) {
                return false;
            }
        }
    }
    return true;
}

std::uint64_t treeSize(const fs::path& dir) {
    std::uint64_t total = 0;
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(dir, ec))) {
        return 0;
    }
    for (fs::recursive_directory_iterator it(dir, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code sizeError;
        if (it->is_regular_file(sizeError) && !it->is_symlink(sizeError)) {
            const auto size = it->file_size(sizeError);
            if (!sizeError) {
                total += size;
            }
        }
    }
    return total;
}

std::optional<std::vector<std::uint8_t>> readRegularFile(const fs::path& file,
                                                         std::uint64_t limit) {
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(file, ec))) {
        return std::nullopt;
    }
    const auto size = fs::file_size(file, ec);
    if (ec || size > limit) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
        return std::nullopt;
    }
    return bytes;
}

ZipWriter::ZipWriter(const fs::path& file) {
    int error = 0;
    zip_ = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
}

ZipWriter::~ZipWriter() {
    if (zip_) {
        zip_discard(asZip(zip_));
    }
}

void ZipWriter::addFolder(const std::string& name) {
    if (ok() && zip_dir_add(asZip(zip_), name.c_str(), ZIP_FL_ENC_UTF_8) < 0) {
        ok_ = false;
    }
}

void ZipWriter::addFile(const fs::path& file, const std::string& name) {
    if (!ok()) {
        return;
    }
    zip_source_t* source = zip_source_file(asZip(zip_), file.c_str(), 0, -1);
    if (!source) {
        ok_ = false;
        return;
    }
    if (zip_file_add(asZip(zip_), name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
        zip_source_free(source);
        ok_ = false;
    }
}

void ZipWriter::addTree(const fs::path& dir, const std::string& prefix) {
    addFolder(prefix);
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(dir, ec))) {
        return;
    }
    for (const auto& entry : sortedEntries(dir)) {
        const auto status = entry.symlink_status(ec);
        const std::string name = prefix + entry.path().filename().string();
        if (fs::is_directory(status)) {
            addTree(entry.path(), name + "/");
        } else if (fs::is_regular_file(status)) {
            addFile(entry.path(), name);
        }
    }
}

bool ZipWriter::commit() {
    if (!ok()) {
        return false;
    }
    if (zip_close(asZip(zip_)) != 0) {
        return false;  // the destructor discards it
    }
    zip_ = nullptr;
    return true;
}

bool extractZip(const fs::path& file, const fs::path& dest) {
    return unpackZip(file, dest).ok;
}

}  // namespace nimbara::md::sim
