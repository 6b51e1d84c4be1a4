// Export files named after backup records: hostile names stay one safe name inside the chosen
// folder, nothing that exists is ever replaced, and failures are reported with nothing left behind.
#include "backup/writers/export_file.h"

#include "export_test_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace nimbara::backup;
using nimbara::test::folderNames;
using nimbara::test::readText;
using nimbara::test::TempDir;
using nimbara::test::writeText;

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

TEST(ExportFileTest, HostileNamesBecomeOneSafeNameInsideTheFolder) {
    TempDir dir;
    const fs::path folder = dir / "export";
    fs::create_directories(folder);
    const std::string longName(300, 'n');
    const std::string longUtf8 = std::string(251, 'a') + "\xC3\xA9\xC3\xA9";  // 255 bytes
    const std::vector<std::string> names = {"../../x",
                                            "a/b",
                                            "",
                                            ".",
                                            "..",
                                            "...",
                                            ".hidden",
                                            std::string("nul\0byte", 8),
                                            "line\nbreak",
                                            "$(touch pwned)",
                                            "`touch pwned2`",
                                            "C:\\x?*|\"<>",
                                            "  ",
                                            longName,
                                            longUtf8};
    for (const std::string& name : names) {
        const ExportWriteResult result = writeExportFile(folder, q(name), ".vcf", "card");
        ASSERT_TRUE(result.ok) << name << ": " << result.error;
        EXPECT_EQ(result.path.parent_path(), folder) << name;
        const std::string file = result.path.filename().string();
        EXPECT_LE(file.size(), kExportNameMax) << name;
        EXPECT_EQ(file.find('/'), std::string::npos) << name;
        EXPECT_EQ(file.find(".."), std::string::npos) << name;
        EXPECT_EQ(file.find('\0'), std::string::npos) << name;
        EXPECT_EQ(file.find('\n'), std::string::npos) << name;
        EXPECT_NE(file.front(), '.') << name;
        EXPECT_TRUE(q(file).toStdString() == file) << name;  // still valid UTF-8
        EXPECT_EQ(readText(result.path), "card") << name;
    }
    // Nothing escaped the folder, and the names a shell would act on were taken as text.
    EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"export"});
    EXPECT_TRUE(fs::exists(folder / "$(touch pwned).vcf"));
    EXPECT_FALSE(fs::exists(folder / "pwned"));
    EXPECT_TRUE(fs::exists(folder / "__._x.vcf"));
    EXPECT_TRUE(fs::exists(folder / "a_b.vcf"));
    EXPECT_TRUE(fs::exists(folder / "_hidden.vcf"));
    // The empty and all-blank names fell back to "Untitled", the second numbered.
    EXPECT_TRUE(fs::exists(folder / "Untitled.vcf"));
    EXPECT_TRUE(fs::exists(folder / "Untitled (2).vcf"));
    EXPECT_TRUE(fs::exists(folder / (std::string(251, 'n') + ".vcf")));
    // A name cut to fit never ends in half a character.
    EXPECT_TRUE(fs::exists(folder / (std::string(251, 'a') + ".vcf")));
}

TEST(ExportFileTest, FallbackAndFittingKeepTheExtensionAndTheNumber) {
    EXPECT_EQ(safeFileStem(QString(), QStringLiteral("unknown 17")), "unknown 17");
    EXPECT_EQ(safeFileStem(QStringLiteral(".."), QStringLiteral("x")), "_");
    EXPECT_EQ(safeFileStem(QStringLiteral("Wait..."), QString()), "Wait.");
    EXPECT_EQ(safeFileStem(QString(), QString()), "Untitled");
    const std::string fitted = fittedFileName(std::string(300, 'z'), " (12)", ".html");
    EXPECT_EQ(fitted.size(), kExportNameMax);
    EXPECT_EQ(fitted.substr(fitted.size() - 10), " (12).html");
    // A three-byte character straddling the limit is left out whole.
    const std::string cjk = fittedFileName(std::string(249, 'x') + "\xE4\xB8\xAD", "", ".txt");
    EXPECT_EQ(cjk, std::string(249, 'x') + ".txt");

    EXPECT_TRUE(isDirectlyInside("/a/b", "/a/b/c"));
    EXPECT_TRUE(isDirectlyInside("/a/b/", "/a/b/c"));
    EXPECT_FALSE(isDirectlyInside("/a/b", "/a/b/../c"));
    EXPECT_FALSE(isDirectlyInside("/a/b", "/a/b/c/d"));
    EXPECT_FALSE(isDirectlyInside("/a/b", "/a/b/."));
    EXPECT_FALSE(isDirectlyInside("/a/b", "/a/c"));
}

TEST(ExportFileTest, NeverReplacesAFileAFolderOrALinkOfTheSameName) {
    TempDir dir;
    const fs::path folder = dir / "export";
    fs::create_directories(folder / "Anna (3).vcf");  // a folder holding a numbered name
    writeText(folder / "Anna.vcf", "earlier export");
    writeText(dir / "outside", "outside");
    fs::create_symlink(dir / "outside", folder / "Anna (2).vcf");

    const ExportWriteResult result = writeExportFile(folder, QStringLiteral("Anna"), ".vcf", "new");
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.path, folder / "Anna (4).vcf");
    EXPECT_EQ(readText(folder / "Anna.vcf"), "earlier export");
    EXPECT_EQ(readText(dir / "outside"), "outside");
    EXPECT_TRUE(fs::is_symlink(folder / "Anna (2).vcf"));
    EXPECT_EQ(readText(result.path), "new");
}

TEST(ExportFileTest, NumberedNamesStayApartWhenTheExtensionFillsTheLimit) {
    TempDir dir;
    const fs::path folder = dir / "export";
    fs::create_directories(folder);
    // A long name with an extension that leaves no room for the number must not lose it: each
    // export gets a name of its own instead of running out of numbers on one name.
    const std::string extension = "." + std::string(260, 'e');
    const ExportWriteResult first = writeExportFile(folder, QStringLiteral("Anna"), extension, "1");
    const ExportWriteResult second =
        writeExportFile(folder, QStringLiteral("Anna"), extension, "2");
    ASSERT_TRUE(first.ok) << first.error;
    ASSERT_TRUE(second.ok) << second.error;
    EXPECT_NE(first.path, second.path);
    EXPECT_EQ(second.path.filename().string().size(), kExportNameMax);
    EXPECT_TRUE(second.path.filename().string().ends_with(" (2)"));
    EXPECT_EQ(readText(first.path), "1");
    EXPECT_EQ(readText(second.path), "2");
}

TEST(ExportFileTest, FailedWritesAreReportedAndLeaveNothingBehind) {
    TempDir dir;
    // No folder, or a file where the folder should be.
    writeText(dir / "plain", "x");
    for (const fs::path& folder : {dir / "missing", dir / "plain"}) {
        const ExportWriteResult result = writeExportFile(folder, QStringLiteral("a"), ".txt", "x");
        EXPECT_FALSE(result.ok);
        EXPECT_FALSE(result.error.empty());
        EXPECT_TRUE(result.path.empty());
    }

    // A full disk: the write fails part way; neither the name nor a temporary file stays.
    const fs::path folder = dir / "full";
    fs::create_directories(folder);
    ExportWriteResult result;
    {
        nimbara::test::FileSizeLimit limit(4096);
        result = writeExportFile(folder, QStringLiteral("big"), ".txt", std::string(100000, 'x'));
    }
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("big.txt"), std::string::npos) << result.error;
    EXPECT_TRUE(folderNames(folder).empty());

    // A folder the user may not write into.
    if (nimbara::test::permissionsApply()) {
        const fs::path locked = dir / "locked";
        fs::create_directories(locked);
        ::chmod(locked.c_str(), 0555);
        const ExportWriteResult denied = writeExportFile(locked, QStringLiteral("a"), ".txt", "x");
        ::chmod(locked.c_str(), 0755);
        EXPECT_FALSE(denied.ok);
        EXPECT_FALSE(denied.error.empty());
    }
}

TEST(ExportFileTest, CopiesEveryByteAndReportsAReadError) {
    TempDir dir;
    std::string bytes;
    for (int i = 0; i < 3 * 1024 * 1024 + 17; ++i) {
        bytes += static_cast<char>(i * 7 % 256);
    }
    writeText(dir / "source", bytes);
    const fs::path folder = dir / "out";
    fs::create_directories(folder);
    {
        const int fd = ::open((dir / "source").c_str(), O_RDONLY | O_CLOEXEC);
        const ExportWriteResult result =
            copyToExportFile(fd, folder, QStringLiteral("copy"), ".mov");
        ::close(fd);
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(readText(result.path), bytes);
    }
    // A folder can be opened but not read: the copy is refused and nothing is left.
    {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const ExportWriteResult result = copyToExportFile(fd, dir.path(), QStringLiteral("d"), "");
        ::close(fd);
        EXPECT_FALSE(result.ok);
        EXPECT_NE(result.error.find("reading the source failed"), std::string::npos)
            << result.error;
        EXPECT_FALSE(fs::exists(dir / "d"));
    }
    EXPECT_FALSE(copyToExportFile(-1, folder, QStringLiteral("x"), "").ok);
}

}  // namespace
