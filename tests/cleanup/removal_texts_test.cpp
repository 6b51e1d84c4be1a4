// The texts that say what a removal takes before it runs, and what an export wrote and where.
#include <gtest/gtest.h>

#include <QString>

#include <utility>
#include <vector>

#include "cleanup/clean_export.h"
#include "cleanup/quick_clean_engine.h"
#include "cleanup/removal_texts.h"

namespace nimbara::cleanup {
namespace {

std::vector<QString> texts(std::initializer_list<const char*> names) {
    std::vector<QString> out;
    for (const char* name : names) {
        out.push_back(QString::fromUtf8(name));
    }
    return out;
}

TEST(RemovalTexts, NamesCountsAndExportsReadAsSentences) {
    std::vector<QString> twelve;
    for (int i = 1; i <= 12; ++i) {
        twelve.push_back(QStringLiteral("n%1").arg(i));
    }
    const std::pair<QString, const char*> rows[] = {
        {nameListText({}), ""},
        {nameListText(texts({"a", "b", "c"})), "a, b and c"},
        {nameListText(twelve), "n1, n2, n3, n4, n5, n6, n7, n8, n9, n10 and 2 more"},
        {nameListText(texts({"%1", "%2", "c"}), 2), "%1, %2 and 1 more"},  // names as they are
        {namedRemovalText(texts({"a.mov"}), "file", "files", "deleted"),
         "This file will be deleted: a.mov."},
        {namedRemovalText(texts({"a", "b"}), "file", "files", "deleted"),
         "These 2 files will be deleted: a and b."},
        {keptFilesText(texts({"a", "b"})),
         "These 2 files the device itself needs are kept: a and b."},
        {exportOutcomeText(CleanRunStatus::Done, 3, 1200, "/x"),
         "Exported 3 files (1.20KB) to /x."},
        {exportOutcomeText(CleanRunStatus::DoneWithFailures, 1, 10, "/x"),
         "Exported 1 file (10.00bytes) to /x; some files could not be copied."},
        {exportOutcomeText(CleanRunStatus::DoneWithFailures, 0, 0, "/x"),
         "Nothing could be exported."},
        {exportOutcomeText(CleanRunStatus::DeviceGone, 2, 2000, "/x"),
         "The device was disconnected and the export stopped. Exported 2 files (2.00KB) to /x."},
    };
    for (const auto& [actual, expected] : rows) {
        EXPECT_EQ(actual, QString::fromUtf8(expected));
    }
}

TEST(RemovalTexts, TheQuickCleanUpQuestionSaysWhatEachTickedKindDoes) {
    QuickCleanPreview all;
    all.exportFolder = "/home/u/Pellucor";
    all.photos = all.deletePhotos = all.junk = true;
    all.cameraRollItems = 12;
    all.junkFiles = 3;
    all.junkBytes = 1500;
    all.largeFiles = texts({"a.mov", "b.pdf"});
    all.apps = texts({"Maps", "Notes"});
    all.keptFiles = 1;
    QuickCleanPreview single;  // photos kept on the device, the junk row ticked but empty
    single.exportFolder = "/e";
    single.photos = single.junk = true;
    single.cameraRollItems = 1;
    single.copyOnlyPictures = 3;
    single.largeFiles = texts({"x.bin"});
    single.apps = texts({"Huge"});

    const std::pair<QuickCleanPreview, const char*> rows[] = {
        {all,
         "12 photos and videos will be copied to /home/u/Pellucor and then deleted from the "
         "device.\n3 junk files (1.50KB) will be deleted.\n"
         "These 2 large files will be deleted: a.mov and b.pdf.\n"
         "These apps will be uninstalled with their data: Maps and Notes.\n"
         "1 file the device itself needs will be kept.\nThis can't be undone."},
        {single,
         "1 photo or video will be copied to /e and kept on the device.\n"
         "3 pictures of photo streams and synced albums will be copied to /e and kept on the "
         "device.\nThis large file will be deleted: x.bin.\n"
         "This app will be uninstalled with its data: Huge.\nThis can't be undone."},
        {QuickCleanPreview{},
         "Nothing ticked will be removed from the device.\nThis can't be undone."},
    };
    for (const auto& [preview, expected] : rows) {
        EXPECT_EQ(quickCleanQuestionText(preview), QString::fromUtf8(expected));
    }
}

TEST(RemovalTexts, TheAppCleanUpQuestionNamesTheDocumentsOfEachAppApartFromTheRest) {
    AppCleanRemovalSummary all;
    for (const char* app : {"Voice Notes", "Scanner", "Voice Notes"}) {
        addDocument(all, QString::fromUtf8(app));
    }
    all.keptDocuments = 2;
    all.otherFiles = 114;
    all.otherBytes = 1200000;
    all.adApps = 3;
    all.keptFiles = 14;
    AppCleanRemovalSummary others;
    others.otherFiles = 1;
    others.otherBytes = 10;

    const std::pair<AppCleanRemovalSummary, const char*> rows[] = {
        {all,
         "3 documents of these apps will be removed: Voice Notes (2) and Scanner (1).\n"
         "Documents are your own files in the apps. To keep any of them, cancel and untick them "
         "in the Documents list.\n2 documents you unticked will be kept.\n"
         "Besides them, 114 caches, cookies and temporary files (1.20MB) will be removed.\n"
         "The advertisement caches of 3 apps will be removed.\n"
         "14 files the device itself needs will be kept.\nThis can't be undone."},
        {others,
         "1 cache, cookie or temporary file (10.00bytes) will be removed.\nThis can't be undone."},
    };
    for (const auto& [summary, expected] : rows) {
        EXPECT_EQ(appCleanQuestionText(summary), QString::fromUtf8(expected));
    }
}

}  // namespace
}  // namespace nimbara::cleanup
