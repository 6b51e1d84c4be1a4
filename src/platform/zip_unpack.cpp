#include "platform/zip_unpack.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <set>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace nimbara {

namespace {

constexpr std::size_t kChunk = 256 * 1024;

struct ZipCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct EntryCloser {
    void operator()(zip_file_t* entry) const { zip_fclose(entry); }
};

// One checked entry: its components and whether it is a folder.
struct Entry {
    zip_uint64_t index = 0;
    std::vector<std::string> parts;
    bool folder = false;
    bool executable = false;
    std::uint64_t size = 0;  // the declared unpacked size; more is never written
};

ZipUnpackResult failed(std::string why) {
    ZipUnpackResult result;
    result.error = std::move(why);
    return result;
}

// The components of an entry name, or a reason in `why`.
bool splitName(const std::string& raw, std::vector<std::string>& parts, bool& folder,
               std::string* why) {
    std::string name = raw;
    folder = !name.empty() && name.back() == '/';
    if (folder) {
        name.pop_back();
    }
    if (name.empty() || name.front() == '/') {
        *why = "an entry has an absolute or empty name: " + raw;
        return false;
    }
    if (name.find('\\') != std::string::npos || name.find('\0') != std::string::npos) {
        *why = "an entry has a name no folder can hold: " + raw;
        return false;
    }
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string::npos) {
            end = name.size();
        }
        std::string part = name.substr(start, end - start);
        if (part == "..") {
            *why = "an entry climbs out of its folder: " + raw;
            return false;
        }
        if (part.empty() || part == "." || part.size() > 255) {
            *why = "an entry has an empty or odd component: " + raw;
            return false;
        }
        parts.push_back(std::move(part));
        start = end + 1;
    }
    return true;
}

// Checks every entry before anything is written.
bool checkEntries(zip_t* archive, const ZipUnpackLimits& limits, std::vector<Entry>& entries,
                  std::uint64_t& bytes, std::string* why) {
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count < 0 || static_cast<std::uint64_t>(count) > limits.maxEntries) {
        *why = "the archive holds too many entries";
        return false;
    }
    std::set<std::string> seen;
    for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
        const char* raw = zip_get_name(archive, i, ZIP_FL_ENC_GUESS);
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (!raw || zip_stat_index(archive, i, 0, &stat) != 0) {
            *why = "an entry of the archive can't be read";
            return false;
        }
        Entry entry;
        entry.index = i;
        if (!splitName(raw, entry.parts, entry.folder, why)) {
            return false;
        }
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(archive, i, 0, &system, &attributes) == 0 &&
            system == ZIP_OPSYS_UNIX) {
            const mode_t mode = static_cast<mode_t>(attributes >> 16);
            const mode_t type = mode & S_IFMT;
            if (type == S_IFLNK) {
                *why = std::string("an entry is a link: ") + raw;
                return false;
            }
            if (type != 0 && type != S_IFREG && type != S_IFDIR) {
                *why = std::string("an entry is a special file: ") + raw;
                return false;
            }
            if ((type == S_IFDIR) != entry.folder && type != 0) {
                *why = std::string("an entry is a folder and a file at once: ") + raw;
                return false;
            }
            entry.executable = (mode & 0111) != 0;
        }
        if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE) {
            *why = std::string("an entry is encrypted: ") + raw;
            return false;
        }
        std::string joined;
        for (const auto& part : entry.parts) {
            joined += "/" + part;
        }
        if (!seen.insert(joined).second) {
            *why = std::string("an entry comes twice: ") + raw;
            return false;
        }
        if (!entry.folder) {
            if (!(stat.valid & ZIP_STAT_SIZE)) {
                *why = std::string("an entry does not say its size: ") + raw;
                return false;
            }
            entry.size = stat.size;
            bytes += stat.size;
            if (bytes > limits.maxBytes) {
                *why = "the archive unpacks to more than it may";
                return false;
            }
        }
        entries.push_back(std::move(entry));
    }
    return true;
}

// Makes `path` a real folder of ours (an existing real folder is fine, anything else is not).
bool makeLevel(const fs::path& path, std::string* why) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        *why = "a folder can't be made: " + std::string(std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *why = "an entry is both a file and a folder: " + path.filename().string();
        return false;
    }
    return true;
}

bool writeEntry(zip_t* archive, const Entry& entry, const fs::path& dest,
                const std::function<bool()>& stop, const ZipUnpackLimits& limits,
                std::vector<char>& buffer, ZipUnpackResult& result, std::string* why) {
    fs::path at = dest;
    const std::size_t levels = entry.folder ? entry.parts.size() : entry.parts.size() - 1;
    for (std::size_t i = 0; i < levels; ++i) {
        at /= entry.parts[i];
        if (!makeLevel(at, why)) {
            return false;
        }
    }
    if (entry.folder) {
        return true;
    }
    at /= entry.parts.back();
    std::unique_ptr<zip_file_t, EntryCloser> source(zip_fopen_index(archive, entry.index, 0));
    if (!source) {
        *why = "an entry can't be unpacked: " + entry.parts.back();
        return false;
    }
    const int fd = ::open(at.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          entry.executable ? 0700 : 0600);
    if (fd < 0) {
        *why = "a file can't be made: " + std::string(std::strerror(errno));
        return false;
    }
    bool ok = true;
    std::uint64_t written = 0;
    for (;;) {
        if (stop && stop()) {
            *why = "stopped";
            ok = false;
            break;
        }
        const zip_int64_t n = zip_fread(source.get(), buffer.data(), buffer.size());
        if (n < 0) {
            *why = "the archive is damaged: " + entry.parts.back();
            ok = false;
            break;
        }
        if (n == 0) {
            break;
        }
        written += static_cast<std::uint64_t>(n);
        if (written > entry.size) {
            *why = "an entry holds more than the archive says: " + entry.parts.back();
            ok = false;
            break;
        }
        result.bytes += static_cast<std::uint64_t>(n);
        if (result.bytes > limits.maxBytes) {
            *why = "the archive unpacks to more than it may";
            ok = false;
            break;
        }
        for (zip_int64_t done = 0; done < n;) {
            const ssize_t w = ::write(fd, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w <= 0) {
                *why = "writing failed: " + std::string(std::strerror(errno));
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) {
            break;
        }
    }
    if (::close(fd) != 0 && ok) {
        *why = "writing failed: " + std::string(std::strerror(errno));
        ok = false;
    }
    if (!ok) {
        // A cut-short file is not left to look like the entry.
        ::unlink(at.c_str());
        return false;
    }
    ++result.files;
    return true;
}

}  // namespace

ZipUnpackResult unpackZip(const fs::path& zipFile, const fs::path& dest,
                          const std::function<bool()>& stop, const ZipUnpackLimits& limits) {
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(dest, ec)) || !fs::is_empty(dest, ec) || ec) {
        return failed("the target is not an empty folder");
    }
    int error = 0;
    std::unique_ptr<zip_t, ZipCloser> archive(zip_open(zipFile.c_str(), ZIP_RDONLY, &error));
    if (!archive) {
        return failed("the file is not a zip archive");
    }
    std::vector<Entry> entries;
    std::uint64_t bytes = 0;
    std::string why;
    if (!checkEntries(archive.get(), limits, entries, bytes, &why)) {
        return failed(why);
    }
    const fs::space_info space = fs::space(dest, ec);
    if (!ec && space.available < bytes) {
        return failed("there is not enough free space on this computer to unpack it");
    }
    ZipUnpackResult result;
    std::vector<char> buffer(kChunk);
    for (const Entry& entry : entries) {
        if (!writeEntry(archive.get(), entry, dest, stop, limits, buffer, result, &why)) {
            return failed(why);
        }
    }
    result.ok = true;
    return result;
}

}  // namespace nimbara
