#include "test_support.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace nimbara::test {

TempDir::TempDir() : folder_(std::filesystem::temp_directory_path(), "nimbara-test") {
    if (!folder_.valid()) {
        throw std::runtime_error("cannot create a temporary folder");
    }
}

std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeText(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
}

}  // namespace nimbara::test
