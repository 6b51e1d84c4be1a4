// What the privacy page's sources share about its eleven categories: each category's button,
// images, table, view and switch action, and the tables themselves.
#pragma once

#include <array>
#include <memory>

#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/pr_note_node.h"
#include "browser/pages/category_table.h"
#include "privacy/pages/pr_privacy_controller.h"
#include "privacy/pr_privacy_node.h"

struct PrivacyCategoryInfo {
    PRPrivacyController::Category category;
    const char* stem;  // of the button's images: stem + "_Nom.png", "_Enter.png", "_Down.png"
    const char* buttonName;
    const char* tableName;
    const char* viewName;
    PRPrivacyButton* PRPrivacyController::*button;
    QTableView* PRPrivacyController::*table;
    void (PRPrivacyController::*action)(QObject*);
};

// In the order of the categories (and of their buttons).
inline constexpr std::array<PrivacyCategoryInfo, nimbara::privacy::kPrivacyCategoryCount>
    kPrivacyCategories{{
        {PRPrivacyController::Category::Contacts, "ContactCleanup", "contactBtn",
         "contactTableView", "contactView", &PRPrivacyController::contactBtn,
         &PRPrivacyController::contactTableView, &PRPrivacyController::ClickContactAction},
        {PRPrivacyController::Category::Messages, "MessageCleanup", "messageBtn",
         "messageTableview", "messageView", &PRPrivacyController::messageBtn,
         &PRPrivacyController::messageTableview, &PRPrivacyController::ClickMessageAction},
        {PRPrivacyController::Category::MessageAttachments, "MessageAttachmentCleanup",
         "messageAttachmentBtn", "messageAttachmentTableView", "messageAttachView",
         &PRPrivacyController::messageAttachmentBtn,
         &PRPrivacyController::messageAttachmentTableView,
         &PRPrivacyController::ClickMessageAttachmentAction},
        {PRPrivacyController::Category::SafariHistory, "SafariBrowseHistoryCleanup",
         "safariHistoryBtn", "safariHistoryTableView", "safariBroswerHistoryView",
         &PRPrivacyController::safariHistoryBtn, &PRPrivacyController::safariHistoryTableView,
         &PRPrivacyController::ClickSafariHistoryAction},
        {PRPrivacyController::Category::SafariCookies, "SafariSeachHistoryCleanup",
         "safariSearchBtn", "safariSearchTableView", "safariSearchHistoryView",
         &PRPrivacyController::safariSearchBtn, &PRPrivacyController::safariSearchTableView,
         &PRPrivacyController::ClickSafariSearchAction},
        {PRPrivacyController::Category::WebContent, "WebCacheCleanup", "webcontentBtn",
         "webContentTableView", "webContentView", &PRPrivacyController::webcontentBtn,
         &PRPrivacyController::webContentTableView, &PRPrivacyController::ClickWebContentAction},
        {PRPrivacyController::Category::KeyboardInput, "KeybroadInputCleanup", "keyBoardBtn",
         "keyboardTableView", "keyBroadView", &PRPrivacyController::keyBoardBtn,
         &PRPrivacyController::keyboardTableView, &PRPrivacyController::ClickkeyBoardAction},
        {PRPrivacyController::Category::WifiNetworks, "WifiConnectionRecordCleanup", "wifiBtn",
         "wifiRecordTableView", "wifiRecordView", &PRPrivacyController::wifiBtn,
         &PRPrivacyController::wifiRecordTableView, &PRPrivacyController::ClickWifRecordsAction},
        {PRPrivacyController::Category::Locations, "GPSLocationRecordCleanup", "gpsBtn",
         "gpsRecordTableView", "gpsRecordView", &PRPrivacyController::gpsBtn,
         &PRPrivacyController::gpsRecordTableView, &PRPrivacyController::ClickGPSRecordsAction},
        {PRPrivacyController::Category::Notes, "NoteCleanup", "noteBtn", "noteTableView",
         "noteView", &PRPrivacyController::noteBtn, &PRPrivacyController::noteTableView,
         &PRPrivacyController::ClickNoteAction},
        {PRPrivacyController::Category::Calls, "CallHistoryCleanup", "callHistoryBtn",
         "callHistoryTableView", "callHistoryView", &PRPrivacyController::callHistoryBtn,
         &PRPrivacyController::callHistoryTableView, &PRPrivacyController::ClickCallHistoryAction},
    }};

inline const PrivacyCategoryInfo& privacyCategoryInfo(PRPrivacyController::Category category) {
    return kPrivacyCategories[nimbara::privacy::categoryIndex(category)];
}

struct PRPrivacyController::CategoryParts {
    template <class Node>
    using Table = nimbara::browser::TypedCategoryTable<Node>;

    // By category; the typed ones below are among them.
    std::array<std::unique_ptr<nimbara::browser::CategoryTable>,
               nimbara::privacy::kPrivacyCategoryCount>
        tables;
    Table<PRContactNode>* contacts = nullptr;
    Table<PRMessageTreeNode>* conversations = nullptr;
    Table<PRNoteNode>* notes = nullptr;
    Table<PRCallHistoryNode>* calls = nullptr;
    // The categories of PRPrivacyNode records (null for the others).
    std::array<Table<PRPrivacyNode>*, nimbara::privacy::kPrivacyCategoryCount> items{};
};
