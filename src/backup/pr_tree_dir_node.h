// One manifest entry of a backup (a record), and also one folder of the backup file outline.
// Held by std::shared_ptr.
//
// A record is filled on the thread that makes it (the scan thread) before it is handed on (posted,
// queued under a lock, or kept in a list handed over under a lock), and never changed after: it
// is plain data that any thread reads without a lock. The outline's folders and files, their
// links and their check states belong to the GUI thread, which alone builds the outline.
//
// A large backup lists hundreds of thousands of entries, so a record is kept small: its domain,
// the folder part of its relative path and the backup folder are one place shared by the
// records of a folder; the record itself holds the last name of its path (as UTF-8) and the 20
// bytes of its key. The outline's part of a node is only made for a folder of the outline.
#pragma once

#include <QString>

#include <array>
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
    // What the records of one folder of a domain share. A record made by hand has one of its
    // own, which also holds its stored path when that was given as a whole.
    struct Place {
        QString domain;
        std::string folder;  // the relative path up to and with its last "/"; may be empty
        std::shared_ptr<const StoredFolder> storedIn;
        QString storedPath;  // an explicit stored path, for a record without a key
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
    EntryKind entryKind() const { return entryKind_; }
    void setEntryKind(EntryKind value) { entryKind_ = value; }
    bool isFileEntry() const { return entryKind() == EntryKind::File; }
    // record: whether the backup holds the entry's stored file (reached without a link) and its
    // size, as the backup's reader found them; unknown for a record made another way
    void setStoredFile(bool stored, std::uint64_t size) {
        storedSize_ = stored ? size : 0;
        stored_ = stored ? kStored : kNotStored;
    }
    bool storedFileKnown() const { return stored_ != kUnknown; }
    bool isStored() const { return stored_ == kStored; }
    std::uint64_t storedSize() const { return storedSize_; }
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
        return outline_ ? outline_->parent.lock() : nullptr;
    }
    void setParent(const std::shared_ptr<PRTreeDirNode>& value) { outline().parent = value; }
    // folder name shown in the outline
    QString fileName() const { return outline_ ? outline_->fileName : QString(); }
    void setFileName(const QString& value) { outline().fileName = value; }
    // name of the check-state image: "unselected", "selected" or "selectedSome"
    QString nodeIcon() const;
    // a folder that holds files and, so far, no sub-folders
    bool isLeaf() const { return outline_ && outline_->isLeaf; }
    void setIsLeaf(bool value) { outline().isLeaf = value; }
    // check state: kUnselected, kSelected or kSelectedSome
    int isSelected() const { return outline_ ? outline_->isSelected : kUnselected; }
    void setIsSelected(int value) { outline().isSelected = value; }
    // Ticked files with a stored file in this folder and below. Kept by the tick operations of
    // PRTreeController (a file's own setter leaves it alone), so counting is one look.
    std::uint32_t tickedFileCount() const { return outline_ ? outline_->tickedFiles : 0; }
    void setTickedFileCount(std::uint32_t value) { outline().tickedFiles = value; }

    // sub-folders, sorted
    std::vector<std::shared_ptr<PRTreeDirNode>>& children() { return outline().children; }
    const std::vector<std::shared_ptr<PRTreeDirNode>>& children() const;
    void setChildren(std::vector<std::shared_ptr<PRTreeDirNode>> value) {
        outline().children = std::move(value);
    }
    // files, in arrival order
    const std::vector<std::shared_ptr<PRTreeFileNode>>& fileChildren() const;
    void setFileChildren(std::vector<std::shared_ptr<PRTreeFileNode>> value) {
        outline().fileChildren = std::move(value);
    }
    void addFileChildren(std::shared_ptr<PRTreeFileNode> file) {
        outline().fileChildren.push_back(std::move(file));
    }
    // Set by the outline's controller when the folder gained sub-folders or files since its
    // model last looked; cleared when the model takes the change.
    bool outlineChanged() const { return outline_ && outline_->changed; }
    void setOutlineChanged(bool value) { outline().changed = value; }

  private:
    static constexpr std::int8_t kUnknown = -1;
    static constexpr std::int8_t kNotStored = 0;
    static constexpr std::int8_t kStored = 1;

    // A node's place in the outline, made for the outline's folders only.
    struct Outline {
        std::weak_ptr<PRTreeDirNode> parent;
        QString fileName;
        std::vector<std::shared_ptr<PRTreeDirNode>> children;
        std::vector<std::shared_ptr<PRTreeFileNode>> fileChildren;
        int isSelected = kUnselected;
        std::uint32_t tickedFiles = 0;
        bool isLeaf = false;
        bool changed = false;
    };
    Outline& outline() {
        if (!outline_) {
            outline_ = std::make_unique<Outline>();
        }
        return *outline_;
    }

    // A place of this record's own with one field changed (records made by hand).
    Place& ownPlace();

    std::shared_ptr<const Place> place_;
    std::string lastName_;
    std::uint64_t storedSize_ = 0;
    std::array<std::uint8_t, 20> key_{};
    std::uint32_t modified_ = 0;
    EntryKind entryKind_ = EntryKind::File;
    std::int8_t stored_ = kUnknown;
    bool hasKey_ = false;
    std::unique_ptr<Outline> outline_;
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
