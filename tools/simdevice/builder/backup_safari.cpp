#include "backup_safari.h"

#include "backup_source.h"
#include "demo_device_parts.h"
#include "platform/plist_value.h"
#include "sim_database.h"

#include <cstdio>
#include <stdexcept>

namespace nimbara::simdev {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDomain = "HomeDomain";

const char* const kBookmarksSchema =
    "CREATE TABLE bookmarks (id INTEGER PRIMARY KEY AUTOINCREMENT, special_id INTEGER DEFAULT 0, "
    "parent INTEGER, type INTEGER, title TEXT, url TEXT COLLATE NOCASE, "
    "num_children INTEGER DEFAULT 0, editable INTEGER NOT NULL DEFAULT 1, "
    "deletable INTEGER NOT NULL DEFAULT 1, hidden INTEGER NOT NULL DEFAULT 0, "
    "hidden_ancestor_count INTEGER NOT NULL DEFAULT 0, order_index INTEGER NOT NULL, "
    "external_uuid TEXT, read INTEGER DEFAULT NULL, last_modified REAL DEFAULT NULL, "
    "server_id TEXT, sync_key TEXT, sync_data BLOB, added INTEGER DEFAULT 1, "
    "deleted INTEGER NOT NULL DEFAULT 0, extra_attributes BLOB DEFAULT NULL);"
    "CREATE TABLE bookmark_title_words (id INTEGER PRIMARY KEY, bookmark_id INTEGER NOT NULL "
    "REFERENCES bookmarks(id) ON DELETE CASCADE, word TEXT, word_index INTEGER);"
    "CREATE TABLE generations (generation INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE sync_properties (key TEXT PRIMARY KEY, value TEXT);"
    "CREATE INDEX parent_index ON bookmarks (parent, order_index);"
    "INSERT INTO generations VALUES (1);";

// Bookmark types of the table.
constexpr int kLeaf = 0;
constexpr int kFolder = 1;

class BookmarkTable {
  public:
    BookmarkTable(SqliteDb& db, const fs::path& file)
        : db_(db),
          file_(file),
          insert_(prepareSim(db,
                             "INSERT INTO bookmarks (special_id, parent, type, title, url, "
                             "num_children, order_index, external_uuid) VALUES (?, ?, ?, ?, ?, "
                             "?, ?, ?)",
                             file)) {}

    std::int64_t add(std::int64_t special, std::int64_t parent, int type, const std::string& title,
                     const std::string& url, std::size_t children, std::size_t order) {
        insert_.bind(1, special);
        if (parent < 0) {
            insert_.bindNull(2);
        } else {
            insert_.bind(2, parent);
        }
        insert_.bind(3, static_cast<std::int64_t>(type));
        bindText(insert_, 4, title);
        bindText(insert_, 5, url);
        insert_.bind(6, static_cast<std::int64_t>(children));
        insert_.bind(7, static_cast<std::int64_t>(order));
        insert_.bind(8, "BOOKMARK-" + std::to_string(++uuid_));
        return insertSim(db_, insert_, file_);
    }

    void addTree(std::int64_t parent, const std::vector<BackupBookmark>& marks) {
        std::size_t order = 0;
        for (const BackupBookmark& mark : marks) {
            const bool folder = mark.url.empty();
            const std::int64_t id = add(0, parent, folder ? kFolder : kLeaf, mark.title, mark.url,
                                        mark.children.size(), order++);
            if (folder) {
                addTree(id, mark.children);
            }
        }
    }

  private:
    SqliteDb& db_;
    fs::path file_;
    SqliteStatement insert_;
    int uuid_ = 0;
};

PlistValue plistTree(const std::vector<BackupBookmark>& marks) {
    PlistValue children = PlistValue::array();
    for (const BackupBookmark& mark : marks) {
        PlistValue item = PlistValue::dict();
        if (mark.url.empty()) {
            item["WebBookmarkType"] = "WebBookmarkTypeList";
            item["Title"] = mark.title;
            item["Children"] = plistTree(mark.children);
        } else {
            item["WebBookmarkType"] = "WebBookmarkTypeLeaf";
            item["URLString"] = mark.url;
            PlistValue uri = PlistValue::dict();
            uri["title"] = mark.title;
            item["URIDictionary"] = uri;
        }
        children.append(item);
    }
    return children;
}

double since2001(int year, unsigned month, unsigned day, int hour, int minute) {
    return simdev::since2001(demo::utc(year, month, day, hour, minute));
}

}  // namespace

void addBackupBookmarks(const SimDeviceBuilder& b, const std::vector<BackupBookmark>& bookmarks) {
    const fs::path file = backupDatabaseFile(b.dir(), kDomain, "Library/Safari/Bookmarks.db");
    SqliteDb db = createSimDatabase(file, kBookmarksSchema);
    BookmarkTable table(db, file);
    // The root is row 0; the reading list is a folder of the device's own below it.
    if (!db.exec("INSERT INTO bookmarks (id, special_id, parent, type, title, num_children, "
                 "editable, deletable, order_index) VALUES (0, 0, NULL, 1, 'Root', 0, 0, 0, 0)")) {
        throw std::runtime_error("cannot write " + file.string() + ": " + db.lastError());
    }
    table.add(1, 0, kFolder, "com.apple.ReadingList", "", 0, 0);
    table.addTree(0, bookmarks);
    commitSim(db, file);
}

void addBackupBookmarksPlist(const SimDeviceBuilder& b,
                             const std::vector<BackupBookmark>& bookmarks) {
    PlistValue root = PlistValue::dict();
    root["WebBookmarkFileVersion"] = 1;
    root["WebBookmarkType"] = "WebBookmarkTypeList";
    root["Title"] = "";
    root["Children"] = plistTree(bookmarks);
    const PlistValue::Bytes binary = root.toBinary();
    addBackupFile(b, kDomain, "Library/Safari/Bookmarks.plist",
                  std::string(binary.begin(), binary.end()));
}

void addBackupBrowserHistory(const SimDeviceBuilder& b,
                             const std::vector<BackupHistoryEntry>& entries,
                             const std::string& domain) {
    PlistValue dates = PlistValue::array();
    for (const BackupHistoryEntry& entry : entries) {
        PlistValue item = PlistValue::dict();
        item[""] = entry.url;
        if (!entry.title.empty()) {
            item["title"] = entry.title;
        }
        // The list keeps the visit time as a decimal text.
        char visited[32];
        std::snprintf(visited, sizeof visited, "%.1f", entry.lastVisited);
        item["lastVisitedDate"] = std::string(visited);
        item["visitCount"] = entry.visitCount;
        dates.append(item);
    }
    PlistValue root = PlistValue::dict();
    root["WebHistoryDates"] = dates;
    root["WebHistoryFileVersion"] = 1;
    const PlistValue::Bytes binary = root.toBinary();
    addBackupFile(b, domain, "Library/Safari/History.plist",
                  std::string(binary.begin(), binary.end()));
}

std::vector<BackupBookmark> demoBookmarks() {
    return {
        {.title = "Favorites",
         .children = {{.title = "City Transit Trip Planner", .url = "https://transit.example/plan"},
                      {.title = "Weather: San Francisco",
                       .url = "https://weather.example/us/san-francisco"},
                      {.title = "Hartwell & Finch", .url = "https://hartwellfinch.example"}}},
        {.title = "Recipes",
         .children = {{.title = "Weeknight Lentil Soup",
                       .url = "https://kitchen.example/recipes/lentil-soup"},
                      {.title = "Sourdough Starter Guide",
                       .url = "https://kitchen.example/guides/sourdough-starter"}}},
        {.title = "Travel",
         .children = {{.title = "Lisbon Neighbourhoods",
                       .url = "https://wanderlog.example/lisbon/neighbourhoods"},
                      {.title = "Trains",
                       .children = {{.title = "Rail Pass Europe",
                                     .url = "https://railpass.example/europe"}}}}},
        {.title = "Lantern Books", .url = "https://lanternbooks.example"},
        {.title = "Bayline Clinic: Dentistry", .url = "https://bayline.example/dentistry"},
    };
}

std::vector<BackupHistoryEntry> demoBrowserHistory() {
    return {
        {.url = "https://kitchen.example/recipes/lentil-soup",
         .title = "Weeknight Lentil Soup",
         .lastVisited = since2001(2019, 7, 28, 18, 42),
         .visitCount = 3},
        {.url = "https://transit.example/plan?from=Mission&to=Embarcadero",
         .title = "Trip Planner: Mission to Embarcadero",
         .lastVisited = since2001(2019, 7, 28, 8, 5)},
        {.url = "https://weather.example/us/san-francisco",
         .title = "Weather: San Francisco",
         .lastVisited = since2001(2019, 7, 27, 7, 51),
         .visitCount = 14},
        {.url = "https://wanderlog.example/lisbon/neighbourhoods",
         .title = "Lisbon Neighbourhoods",
         .lastVisited = since2001(2019, 7, 25, 21, 17)},
        {.url = "https://search.example/?q=climbing+gym+thursday+hours",
         .lastVisited = since2001(2019, 7, 24, 12, 30)},
    };
}

}  // namespace nimbara::simdev
