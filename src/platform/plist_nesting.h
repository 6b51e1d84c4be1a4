// How deeply a property list nests its arrays and dictionaries, measured before the data reaches
// a parser: libplist builds and frees its trees recursively, so a list nested a few hundred
// thousand levels deep would exhaust the stack there.
//
// The measure never recurses and takes time linear in the data and memory in proportion to the
// depth limit only. XML is scanned the way libplist tokenises it (processing instructions,
// comments, the document type, character data and the text of leaf elements are skipped; an
// empty <dict/> or <array/> does not nest); where the XML is malformed the scan goes on, so it can
// only find the list deeper than the parser would. A binary list is walked along its object
// references with an explicit stack; a reference that is out of range makes it damaged, and the
// walk gives up once it has visited more objects than the data can hold without sharing
// (circular references end at the depth limit, shared ones at that bound).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace nimbara {

// Arrays and dictionaries nest at most this deep in any property list we read; the outermost
// container is level 1.
inline constexpr int kMaxPlistDepth = 256;

// What PlistValue::parse says should a parsed tree turn out deeper than this measure found:
// never, while the measure follows the parser (the fuzz target checks that).
inline constexpr const char* kPlistDeeperThanMeasured = "The property list nests too deeply.";

// True when the data starts like a binary property list ("bplist00").
bool isBinaryPlist(const void* data, std::size_t length);

// nullopt when the property list in `data` nests at most `maxDepth` levels; otherwise a sentence
// saying why it is refused.
std::optional<std::string> plistNestingProblem(const void* data, std::size_t length,
                                               int maxDepth = kMaxPlistDepth);

}  // namespace nimbara
