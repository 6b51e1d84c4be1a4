// The texts of the clean-up questions: before anything leaves the device, the question says what
// each ticked kind does and names what goes. Widget-free; the pages ask with them.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace nimbara::cleanup {

struct QuickCleanPreview;

// Names for a sentence: "a", "a and b", "a, b and c"; past `shown` names the rest are counted
// ("a, b, c and 4 more").
QString nameListText(const std::vector<QString>& names, std::size_t shown = 10);

// "1 file" / "3 files".
QString countText(std::uint64_t count, const char* one, const char* many);

// "This file will be deleted: a." / "These 3 files will be deleted: a, b and c." with `one` and
// `many` naming the things and `verb` what happens to them. Empty for no names.
QString namedRemovalText(const std::vector<QString>& names, const char* one, const char* many,
                         const char* verb);

// The quick clean-up's question: a line for what each ticked kind does ("N photos and videos
// will be copied to <folder> and then deleted from the device", "N junk files (size) will be
// deleted", the large files and the apps by name), then what stays and that it can't be undone.
QString quickCleanQuestionText(const QuickCleanPreview& preview);

// What the app clean-up's remove-all takes: the documents (the user's own files) per app apart
// from the caches, cookies and temporary files.
struct AppCleanRemovalSummary {
    std::vector<std::pair<QString, std::uint64_t>> documentsByApp;  // app name, documents
    std::uint64_t documents = 0;
    std::uint64_t keptDocuments = 0;  // unticked in the documents list: they stay
    std::uint64_t otherFiles = 0;     // caches, cookies and temporary files
    std::uint64_t otherBytes = 0;
    std::uint64_t adApps = 0;     // apps whose advertisement caches go
    std::uint64_t keptFiles = 0;  // files the device itself needs: they stay
};
// Adds one document of `app` (apps in the order they first come).
void addDocument(AppCleanRemovalSummary& summary, const QString& app);
QString appCleanQuestionText(const AppCleanRemovalSummary& summary);

// The files the device itself needs, left in place by a removal: "These 2 files the device
// itself needs are kept: a and b." Empty for none.
QString keptFilesText(const std::vector<QString>& names);

}  // namespace nimbara::cleanup
