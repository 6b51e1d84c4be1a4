// Local file names that fit the file system: a stem, a number suffix and an extension joined
// within the longest name a local folder takes, cut between UTF-8 characters.
#pragma once

#include <cstddef>
#include <string>

namespace nimbara {

// The longest file name, in bytes, a local folder takes (the usual limit of local file systems).
inline constexpr std::size_t kLocalNameMax = 255;

// `stem` + `suffix` + `extension`, the stem shortened (never inside a UTF-8 sequence; bytes that
// are no UTF-8 at all are cut where they stand) so that the whole fits kLocalNameMax. An
// extension too long to leave room for a stem is shortened with it; the suffix always stays, so
// numbered names stay apart.
inline std::string fittedFileName(std::string stem, const std::string& suffix,
                                  std::string extension) {
    if (stem.size() + suffix.size() + extension.size() <= kLocalNameMax) {
        return stem + suffix + extension;
    }
    if (suffix.size() + extension.size() >= kLocalNameMax) {
        stem += extension;
        extension.clear();
    }
    std::size_t keep = kLocalNameMax - suffix.size() - extension.size();
    // While stem[keep] continues a sequence, cut before the sequence's first byte (a sequence is
    // at most four bytes long).
    for (int back = 0; back < 3 && keep > 0; ++back) {
        if ((static_cast<unsigned char>(stem[keep]) & 0xC0) != 0x80) {
            break;
        }
        --keep;
    }
    stem.resize(keep);
    return stem + suffix + extension;
}

// The `number`th candidate for a new file: "stem.ext" first, then "stem (2).ext", "stem (3).ext",
// ..., each fitted as fittedFileName does.
inline std::string numberedFileName(const std::string& stem, const std::string& extension,
                                    int number) {
    return fittedFileName(stem, number <= 1 ? std::string() : " (" + std::to_string(number) + ")",
                          extension);
}

}  // namespace nimbara
