#include "backup/writers/export_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QList>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "platform/failure_reason.h"
#include "platform/partial_file.h"

namespace nimbara::backup {

namespace fs = std::filesystem;

namespace {

// How many numbered names are tried before an export gives up on a name.
constexpr int kMaxNumber = 10000;
constexpr std::size_t kCopyChunk = 1 << 20;

bool isRefusedCharacter(char32_t c) {
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029) {
        return true;
    }
    switch (c) {
        case U'/':
        case U'\\':
        case U':':
        case U'*':
        case U'?':
        case U'"':
        case U'<':
        case U'>':
        case U'|':
            return true;
        default:
            return false;
    }
}

QString cleanedStem(const QString& name) {
    QString out;
    out.reserve(name.size());
    const auto codePoints = name.toUcs4();  // a lone surrogate comes out as U+FFFD
    for (const char32_t c : codePoints) {
        if (isRefusedCharacter(c)) {
            out += QLatin1Char('_');
        } else if (c == U'.' && out.endsWith(QLatin1Char('.'))) {
            continue;  // a run of dots is one dot: ".." never appears
        } else {
            out += QString::fromUcs4(&c, 1);
        }
    }
    out = out.trimmed();
    if (out.startsWith(QLatin1Char('.'))) {
        out[0] = QLatin1Char('_');
    }
    return out;
}

fs::path withoutTrailingSeparator(const fs::path& p) {
    if (!p.has_filename() && p.has_relative_path()) {
        return p.parent_path();
    }
    return p;
}

bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::string failure(const fs::path& target, const std::string& reason) {
    return failureText(target.string(), reason, "writing the file");
}

}  // namespace

std::string safeFileStem(const QString& name, const QString& fallback) {
    QString stem = cleanedStem(name);
    if (stem.isEmpty()) {
        stem = cleanedStem(fallback);
    }
    if (stem.isEmpty()) {
        stem = QStringLiteral("Untitled");
    }
    return stem.toStdString();
}

ExportNameParts exportNameParts(const QString& fileName) {
    constexpr qsizetype kLongestExtension = 16;
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const qsizetype length = fileName.size() - dot - 1;
    if (dot <= 0 || length < 1 || length > kLongestExtension) {
        return {fileName, {}};
    }
    for (qsizetype i = dot + 1; i < fileName.size(); ++i) {
        const char16_t c = fileName[i].unicode();
        const bool plain =
            (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
        if (!plain) {
            return {fileName, {}};
        }
    }
    return {fileName.left(dot), fileName.mid(dot).toStdString()};
}

bool isDirectlyInside(const fs::path& folder, const fs::path& target) {
    if (!target.has_filename() || !isPlainName(target.filename().string())) {
        return false;
    }
    return withoutTrailingSeparator(target.parent_path()) == withoutTrailingSeparator(folder);
}

bool liesUnder(const fs::path& path, const fs::path& root) {
    auto p = path.begin();
    for (auto r = root.begin(); r != root.end(); ++r, ++p) {
        if (r->empty() && std::next(r) == root.end()) {
            return true;  // a root given with a trailing separator
        }
        if (p == path.end() || *p != *r) {
            return false;
        }
    }
    return true;
}

std::optional<fs::path> makeFolderInside(const fs::path& root,
                                         const std::vector<std::string>& names, std::string* why) {
    fs::path at = root;
    for (const std::string& name : names) {
        at /= name;
        if (!isDirectlyInside(at.parent_path(), at)) {
            *why = "\"" + name + "\" is not a plain folder name";
            return std::nullopt;
        }
        if (::mkdir(at.c_str(), 0777) != 0 && errno != EEXIST) {
            *why = failure(at, std::strerror(errno));
            return std::nullopt;
        }
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            *why = failure(at, "something that is not a folder has this name");
            return std::nullopt;
        }
        std::error_code ec;
        const fs::path real = fs::canonical(at, ec);
        if (ec || !liesUnder(real, root)) {
            *why = at.string() + " lies outside the export folder";
            return std::nullopt;
        }
    }
    return at;
}

ExportWriteResult writeExportFile(const fs::path& folder, const QString& name,
                                  std::string_view extension, const ExportFill& fill,
                                  const QString& fallback) {
    ExportWriteResult result;
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec)) {
        result.error = failure(folder, "not a folder");
        return result;
    }
    const std::string stem = safeFileStem(name, fallback);
    const std::string ext(extension);
    for (int n = 1; n <= kMaxNumber; ++n) {
        const fs::path target = folder / numberedFileName(stem, ext, n);
        if (!isDirectlyInside(folder, target)) {
            result.error = failure(target, "not a name inside the export folder");
            return result;
        }
        // Claim the name: whatever exists under it (a file, a folder, a link) is left alone.
        const int claim =
            ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (claim < 0) {
            if (errno == EEXIST) {
                continue;
            }
            result.error = failure(target, std::strerror(errno));
            return result;
        }
        ::close(claim);

        PartialFile file(target);
        std::string why;
        bool written = file.valid();
        if (!written) {
            why = std::strerror(file.error());
        } else if (!fill || !fill(file, &why)) {
            written = false;
            if (why.empty()) {
                why = fill ? std::strerror(file.error()) : "nothing to write";
            }
        } else if (!file.commit()) {
            written = false;
            why = std::strerror(file.error());
        }
        if (!written) {
            ::unlink(target.c_str());  // give the claimed name back
            result.error = failure(target, why);
            return result;
        }
        result.ok = true;
        result.path = target;
        return result;
    }
    result.error = failure(folder / stem, "every numbered name is taken");
    return result;
}

ExportWriteResult writeExportFile(const fs::path& folder, const QString& name,
                                  std::string_view extension, const std::string& bytes,
                                  const QString& fallback) {
    return writeExportFile(
        folder, name, extension,
        [&bytes](PartialFile& file, std::string*) {
            return file.write(bytes.data(), bytes.size());
        },
        fallback);
}

ExportWriteResult copyToExportFile(int sourceFd, const fs::path& folder, const QString& name,
                                   std::string_view extension, const QString& fallback,
                                   const std::function<bool()>& stopRequested) {
    if (sourceFd < 0) {
        ExportWriteResult result;
        result.error = failure(folder / safeFileStem(name, fallback), "no source to copy");
        return result;
    }
    const auto copy = [sourceFd, &stopRequested](PartialFile& file, std::string* why) {
        std::vector<char> buffer(kCopyChunk);
        for (;;) {
            if (stopRequested && stopRequested()) {
                *why = "stopped";
                return false;
            }
            const ssize_t n = ::read(sourceFd, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                *why = std::string("reading the source failed: ") + std::strerror(errno);
                return false;
            }
            if (n == 0) {
                return true;
            }
            if (!file.write(buffer.data(), static_cast<std::size_t>(n))) {
                return false;
            }
        }
    };
    return writeExportFile(folder, name, extension, copy, fallback);
}

}  // namespace nimbara::backup
