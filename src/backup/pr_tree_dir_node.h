// One manifest entry of a backup (a record), and also one folder of the backup file outline.
// Held by std::shared_ptr.
//
// A record is filled on the thread that makes it (the scan thread) before it is handed on (posted,
// queued under a lock, or kept in a list handed over under a lock), and never changed after: it
// is plain data that any thread reads without a lock. The outline's folders and files, their
// links and their check states belong to the GUI thread, which alone builds the outline.
//
// A large backup lists hundreds of thousands of entries, so a record is kept small (56 bytes):
// its domain, the folder part of its relative path and the backup folder are one place shared by
// the records of a folder, which also keeps the last names of their paths (as UTF-8), each once;
// the record itself holds where its name is, the 20 bytes of its key, its stored size and its
// time. The outline's part of a node is only made for a folder of the outline, and a folder
// keeps its files as their records and ticks until their file nodes are first asked for.
#pragma once

#include <QString>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class PRTreeFileNode;

class PRTreeDirNode {
  public:
    // check states
    static constexpr int kUnselected = 0;
    static constexpr int kSelected = 1;
    static constexpr int kSelectedSome = 2;

    // What a manifest record stands for; only a file has contents in the backup.
    enum class EntryKind : std::uint8_t { File, Folder, Link };

    // Where the records of one backup keep their stored files: "<folder>/" and whether the files
    // lie in two-digit subfolders. Shared by every record of a scan.
    struct StoredFolder {
        QString prefix;  // the backup folder, ending in "/"
        bool sharded = false;
    };
    // The last names of the records of one place, each kept once, in blocks that never move.
    // Kept by whichever thread makes a record of the place (one at a time; a record is handed on
    // only once made) and read by any. A copy starts empty: the records of the copied place keep
    // their names where they are.
    class NameStore {
      public:
        NameStore() = default;
        NameStore(const NameStore&) {}
        NameStore& operator=(const NameStore&) { return *this; }
        ~NameStore();
        // Keeps `name`; returns where it lies (null for an empty name), for nameAt.
        const char* keep(std::string_view name) const;
        static std::string_view nameAt(const char* at);

      private:
        struct Block;
        mutable std::atomic_flag busy_;
        mutable Block* blocks_ = nullptr;  // the newest first
        mutable std::size_t used_ = 0;     // bytes used of the newest block
    };
    // What the records of one folder of a domain share. A record made by hand has one of its
    // own, which also holds its stored path when that was given as a whole.
    struct Place {
        QString domain;
        std::string folder;  // the relative path up to and with its last "/"; may be empty
        std::shared_ptr<const StoredFolder> storedIn;
        QString storedPath;  // an explicit stored path, for a record without a key
        NameStore names;     // the last names of its records
    };

    // Makes records a block at a time: the records of a block share one allocation and one
    // count (a record held keeps its block), so that a record costs its own bytes and no more.
    // Blocks grow from 8 records to 1024. For one thread at a time.
    class RecordBlocks {
      public:
        std::shared_ptr<PRTreeDirNode> make();

      private:
        std::shared_ptr<PRTreeDirNode[]> block_;
        std::size_t size_ = 0;
        std::size_t used_ = 0;
    };

    PRTreeDirNode() = default;
    PRTreeDirNode(const PRTreeDirNode&) = delete;
    PRTreeDirNode& operator=(const PRTreeDirNode&) = delete;
    // A deep outline is released level by level, not by one nested destructor per level.
    ~PRTreeDirNode();

    // record: relative path of the entry inside its domain
    QString filePath() const;
    // The same as UTF-8; always valid UTF-8 (bytes that were not are stored replaced).
    std::string filePathUtf8() const;
    // Whether the relative path is `path` (UTF-8), without putting the path together.
    bool hasFilePath(std::string_view path) const;
    void setFilePath(const QString& value);
    // record: full path of the stored backup file (empty when unknown)
    QString fileKey() const;
    // An explicit stored path.
    void setFileKey(const QString& value);
    // record: backup domain
    QString fileDomain() const { return place_ ? place_->domain : QString(); }
    void setFileDomain(const QString& value);
    // record, made in one step: its shared place, the last name of its relative path (after the
    // place's folder; valid UTF-8), and its key, 40 lower-case hex digits naming a stored file in
    // the place's backup folder (none when the key is not such a key).
    void setRecord(std::shared_ptr<const Place> place, std::string lastName,
                   const std::string& hexKey);
    // record: a file, a folder or a link (a file unless the list says otherwise)
    EntryKind entryKind() const { return static_cast<EntryKind>(field(kKindShift, 3)); }
    void setEntryKind(EntryKind value) {
        setField(kKindShift, 3, static_cast<std::uint64_t>(value));
    }
    bool isFileEntry() const { return entryKind() == EntryKind::File; }
    // record: whether the backup holds the entry's stored file (reached without a link) and its
    // size, as the backup's reader found them; unknown for a record made another way
    void setStoredFile(bool stored, std::uint64_t size) {
        bits_ = (bits_ & ~kSizeMask) | (stored ? std::min(size, kSizeMask) : 0);
        setField(kStoredShift, 3, stored ? kStored : kNotStored);
    }
    bool storedFileKnown() const { return field(kStoredShift, 3) != kUnknown; }
    bool isStored() const { return field(kStoredShift, 3) == kStored; }
    std::uint64_t storedSize() const { return bits_ & kSizeMask; }
    // record: the entry's last change as the manifest lists it, Unix seconds; 0 when unknown
    // (or outside what 32 bits of seconds hold, to keep records small)
    std::int64_t modifiedTime() const { return modified_; }
    void setModifiedTime(std::int64_t value) {
        modified_ =
            value > 0 && value <= std::int64_t{UINT32_MAX} ? static_cast<std::uint32_t>(value) : 0;
    }
    // Where the stored file lies, for a reader that reaches it through the backup folder: the
    // backup folder and the file's name inside it ("<key>" or "<k0k1>/<key>"). A stored path
    // given as a whole is split at its last "/". Both empty when the record names no stored file.
    struct StoredLocation {
        QString folder;
        QString relative;
        bool isEmpty() const { return folder.isEmpty() || relative.isEmpty(); }
    };
    StoredLocation storedLocation() const;

    // Outline (GUI thread).
    // enclosing folder; null at the top. Held weakly: the folder owns its children.
    std::shared_ptr<PRTreeDirNode> parent() const {
        return folderPart() ? folderPart()->parent.lock() : nullptr;
    }
    void setParent(const std::shared_ptr<PRTreeDirNode>& value) { outline().parent = value; }
    // folder name shown in the outline
    QString fileName() const { return folderPart() ? folderPart()->fileName : QString(); }
    void setFileName(const QString& value) { outline().fileName = value; }
    // name of the check-state image: "unselected", "selected" or "selectedSome"
    QString nodeIcon() const;
    // a folder that holds files and, so far, no sub-folders
    bool isLeaf() const { return folderPart() && folderPart()->isLeaf; }
    void setIsLeaf(bool value) { outline().isLeaf = value; }
    // check state: kUnselected, kSelected or kSelectedSome
    int isSelected() const { return folderPart() ? folderPart()->isSelected : kUnselected; }
    void setIsSelected(int value) { outline().isSelected = value; }
    // Ticked files with a stored file in this folder and below. Kept by the tick operations of
    // PRTreeController (a file's own setter leaves it alone), so counting is one look.
    std::uint32_t tickedFileCount() const { return folderPart() ? folderPart()->tickedFiles : 0; }
    void setTickedFileCount(std::uint32_t value) { outline().tickedFiles = value; }

    // sub-folders, sorted
    std::vector<std::shared_ptr<PRTreeDirNode>>& children() { return outline().children; }
    const std::vector<std::shared_ptr<PRTreeDirNode>>& children() const;
    void setChildren(std::vector<std::shared_ptr<PRTreeDirNode>> value) {
        outline().children = std::move(value);
    }
    // files, in arrival order. Files filed as records (addFileRecord) get their nodes here, all
    // of the folder's at once, the first time they are asked for.
    const std::vector<std::shared_ptr<PRTreeFileNode>>& fileChildren() const;
    void setFileChildren(std::vector<std::shared_ptr<PRTreeFileNode>> value);
    void addFileChildren(std::shared_ptr<PRTreeFileNode> file);
    // Files a record whose stored file is known (storedFileKnown) without making its node: the
    // folder keeps the record and its tick (unticked) until its files are asked for. `self` is
    // this folder, for the nodes' parent. A record of unknown storage is the caller's to file
    // as a node.
    void addFileRecord(const std::shared_ptr<PRTreeDirNode>& self,
                       std::shared_ptr<const PRTreeDirNode> record);
    // The files without making their nodes: how many there are, and each one's record (null for
    // a node without one), tick, whether the backup holds it and the size of its stored file.
    std::size_t fileCount() const;
    std::shared_ptr<const PRTreeDirNode> fileRecordAt(std::size_t at) const;
    bool fileTickedAt(std::size_t at) const;
    bool fileStoredAt(std::size_t at) const;
    std::uint64_t fileSizeAt(std::size_t at) const;
    // Ticks or unticks every file of the folder (not below it); returns the number of ticked
    // files the backup holds.
    std::uint32_t tickAllFiles(bool ticked);
    // Whether the files have their nodes (they were asked for, or filed as nodes).
    bool fileNodesMade() const { return folderPart() && folderPart()->fileTicks.empty(); }
    // Set by the outline's controller when the folder gained sub-folders or files since its
    // model last looked; cleared when the model takes the change.
    bool outlineChanged() const { return folderPart() && folderPart()->changed; }
    void setOutlineChanged(bool value) { outline().changed = value; }

  private:
    // bits_: the stored size below, then the entry's kind, whether its stored file is there,
    // whether it has a key and whether the slot holds its outline.
    static constexpr std::uint64_t kSizeMask = (std::uint64_t{1} << 56) - 1;
    static constexpr int kKindShift = 56;
    static constexpr int kStoredShift = 58;
    static constexpr int kHasKeyShift = 60;
    static constexpr int kHasOutlineShift = 61;
    static constexpr std::uint64_t kUnknown = 0;
    static constexpr std::uint64_t kNotStored = 1;
    static constexpr std::uint64_t kStored = 2;
    std::uint64_t field(int shift, std::uint64_t mask) const { return (bits_ >> shift) & mask; }
    void setField(int shift, std::uint64_t mask, std::uint64_t value) {
        bits_ = (bits_ & ~(mask << shift)) | ((value & mask) << shift);
    }
    bool hasKey() const { return field(kHasKeyShift, 1) != 0; }
    void setHasKey(bool value) { setField(kHasKeyShift, 1, value ? 1 : 0); }

    // A node's place in the outline, made for the outline's folders only.
    struct Outline {
        std::weak_ptr<PRTreeDirNode> parent;
        std::weak_ptr<PRTreeDirNode> self;  // for the parent of file nodes made later
        QString fileName;
        std::vector<std::shared_ptr<PRTreeDirNode>> children;
        // Files filed as records, with their ticks, until their nodes are made; then empty.
        // Records made one after the other in one block (RecordBlocks) that come one after the
        // other are one run, held by its first: a folder of a large backup holds a few runs.
        struct FileRun {
            std::shared_ptr<const PRTreeDirNode> first;
            std::uint32_t start = 0;  // position of the first among the folder's files
            std::uint32_t count = 0;
        };
        std::vector<FileRun> fileRuns;
        std::vector<bool> fileTicks;  // one a file filed as a record
        std::vector<std::shared_ptr<PRTreeFileNode>> fileChildren;
        const char* recordName = nullptr;  // the record's name, when a record has an outline too
        int isSelected = kUnselected;
        std::uint32_t tickedFiles = 0;
        bool isLeaf = false;
        bool changed = false;
    };
    Outline* folderPart() const {
        return field(kHasOutlineShift, 1) != 0 ? slot_.outline : nullptr;
    }
    Outline& outline();
    // Makes the nodes of the files filed as records.
    void makeFileNodes() const;
    // The record of file `at` among those filed as records.
    static std::shared_ptr<const PRTreeDirNode> recordIn(const Outline& own, std::size_t at);
    // Where the record's last name lies in its place's names.
    const char* nameAt() const;
    void setNameAt(const char* at);
    std::string_view lastName() const { return NameStore::nameAt(nameAt()); }
    // Keeps `name` in the record's place (made when it has none) as its last name.
    void keepLastName(std::string_view name);

    // A place of this record's own with one field changed (records made by hand).
    Place& ownPlace();

    std::shared_ptr<const Place> place_;
    // The record's last name in its place's names, or, for a folder of the outline, its outline.
    union Slot {
        const char* name;
        Outline* outline;
    } slot_{nullptr};
    std::uint64_t bits_ = 0;
    std::array<std::uint8_t, 20> key_{};
    std::uint32_t modified_ = 0;
};

// One backup file in a folder of the outline: the record it shows, whether the backup holds its
// stored file, and the file's check state. Its texts come from the record. GUI thread only.
class PRTreeFileNode {
  public:
    PRTreeFileNode() = default;
    PRTreeFileNode(const PRTreeFileNode&) = delete;
    PRTreeFileNode& operator=(const PRTreeFileNode&) = delete;

    std::shared_ptr<PRTreeDirNode> parent() const { return parent_.lock(); }
    void setParent(const std::shared_ptr<PRTreeDirNode>& value) { parent_ = value; }
    // the manifest record shown
    const std::shared_ptr<const PRTreeDirNode>& record() const { return record_; }
    void setRecord(std::shared_ptr<const PRTreeDirNode> value) { record_ = std::move(value); }
    // file name shown in the table: the last name of the record's path as the outline files it
    QString treefileName() const;
    // the name's extension, or the whole name when it has none
    QString treefileType() const;
    // size text
    QString fileSize() const;
    // size in bytes of the stored file
    std::uint64_t realFileSize() const { return sizeAndFlags_ >> kFlagBits; }
    void setRealFileSize(std::uint64_t value) {
        sizeAndFlags_ = (value << kFlagBits) | (sizeAndFlags_ & kFlagMask);
    }
    // full path of the stored file
    QString filePath() const;
    // domain, "/", relative path (as the outline files it)
    QString dirFilePath() const;
    // a file exists at filePath
    bool isFile() const { return (sizeAndFlags_ & kIsFile) != 0; }
    void setIsFile(bool value) { setFlag(kIsFile, value); }
    // check state of the file row
    bool bSelected() const { return (sizeAndFlags_ & kSelected) != 0; }
    void setBSelected(bool value) { setFlag(kSelected, value); }

  private:
    // The size and the two flags share one word (sizes stay far below 2^62 bytes).
    static constexpr int kFlagBits = 2;
    static constexpr std::uint64_t kFlagMask = 3;
    static constexpr std::uint64_t kIsFile = 1;
    static constexpr std::uint64_t kSelected = 2;
    void setFlag(std::uint64_t flag, bool on) {
        sizeAndFlags_ = on ? sizeAndFlags_ | flag : sizeAndFlags_ & ~flag;
    }

    std::weak_ptr<PRTreeDirNode> parent_;
    std::shared_ptr<const PRTreeDirNode> record_;
    std::uint64_t sizeAndFlags_ = 0;
};

// How the outline files a relative path: every "/." becomes "/" (a hidden name shows without
// its dot).
QString outlinePath(const QString& relativePath);
// The last name of such a path (the whole path when it has no "/").
QString outlineFileName(const QString& relativePath);
