#include "backup/pr_tree_dir_node.h"

#include "backup/manifest_db.h"
#include "ui/core/text_utilities.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

namespace {

const std::vector<std::shared_ptr<PRTreeDirNode>> kNoFolders;
const std::vector<std::shared_ptr<PRTreeFileNode>> kNoFiles;

// Name blocks are asked for in sizes that fill malloc's chunks: 64 bytes first, then twice the
// last, up to 4 KiB (a longer name gets a block of its own size).
constexpr std::size_t kFirstBlock = 64 - 8;
constexpr std::size_t kLargestBlock = 4096 - 8;

}  // namespace

// Hundreds of thousands of records: with its shared count, one fills an 80-byte malloc chunk.
static_assert(sizeof(PRTreeDirNode) <= 56, "a record is kept small");

// A block of names: its header, then its bytes.
struct PRTreeDirNode::NameStore::Block {
    Block* next;
    std::size_t size;  // bytes after the header
    char* bytes() { return reinterpret_cast<char*>(this + 1); }
};

PRTreeDirNode::NameStore::~NameStore() {
    while (blocks_ != nullptr) {
        Block* next = blocks_->next;
        ::operator delete(blocks_);
        blocks_ = next;
    }
}

const char* PRTreeDirNode::NameStore::keep(std::string_view name) const {
    if (name.empty()) {
        return nullptr;
    }
    // The length, seven bits a byte (the low ones first), then the bytes.
    unsigned char head[10];
    std::size_t headSize = 0;
    for (std::size_t n = name.size();; n >>= 7) {
        head[headSize++] = static_cast<unsigned char>((n & 0x7F) | (n > 0x7F ? 0x80 : 0));
        if (n <= 0x7F) {
            break;
        }
    }
    const std::size_t need = headSize + name.size();
    while (busy_.test_and_set(std::memory_order_acquire)) {
    }
    if (blocks_ == nullptr || blocks_->size - used_ < need) {
        const std::size_t last = blocks_ == nullptr ? 0 : blocks_->size + sizeof(Block);
        const std::size_t asked = std::max(
            last == 0 ? kFirstBlock : std::min(2 * last + 8, kLargestBlock), need + sizeof(Block));
        auto* block = static_cast<Block*>(::operator new(asked));
        block->next = blocks_;
        block->size = asked - sizeof(Block);
        blocks_ = block;
        used_ = 0;
    }
    char* at = blocks_->bytes() + used_;
    std::memcpy(at, head, headSize);
    std::memcpy(at + headSize, name.data(), name.size());
    used_ += need;
    busy_.clear(std::memory_order_release);
    return at;
}

std::string_view PRTreeDirNode::NameStore::nameAt(const char* at) {
    if (at == nullptr) {
        return {};
    }
    std::size_t size = 0;
    int shift = 0;
    for (;;) {
        const auto byte = static_cast<unsigned char>(*at++);
        size |= static_cast<std::size_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            break;
        }
        shift += 7;
    }
    return {at, size};
}

PRTreeDirNode::~PRTreeDirNode() {
    std::unique_ptr<Outline> own(folderPart());
    if (!own) {
        return;
    }
    // A deep outline is let go level by level, not by one nested destructor per level.
    std::vector<std::shared_ptr<PRTreeDirNode>> pending = std::move(own->children);
    while (!pending.empty()) {
        std::shared_ptr<PRTreeDirNode> node = std::move(pending.back());
        pending.pop_back();
        if (node.use_count() == 1 && node->folderPart() != nullptr) {
            for (auto& child : node->folderPart()->children) {
                pending.push_back(std::move(child));
            }
            node->folderPart()->children.clear();
        }
    }
}

PRTreeDirNode::Outline& PRTreeDirNode::outline() {
    if (folderPart() == nullptr) {
        auto* made = new Outline;
        made->recordName = slot_.name;
        slot_.outline = made;
        setField(kHasOutlineShift, 1, 1);
    }
    return *slot_.outline;
}

const char* PRTreeDirNode::nameAt() const {
    const Outline* own = folderPart();
    return own != nullptr ? own->recordName : slot_.name;
}

void PRTreeDirNode::setNameAt(const char* at) {
    if (Outline* own = folderPart()) {
        own->recordName = at;
    } else {
        slot_.name = at;
    }
}

void PRTreeDirNode::keepLastName(std::string_view name) {
    if (name.empty()) {
        setNameAt(nullptr);
        return;
    }
    if (!place_) {
        place_ = std::make_shared<Place>();
    }
    setNameAt(place_->names.keep(name));
}

QString PRTreeDirNode::filePath() const {
    return QString::fromStdString(filePathUtf8());
}

std::string PRTreeDirNode::filePathUtf8() const {
    const std::string_view name = lastName();
    std::string path;
    path.reserve((place_ ? place_->folder.size() : 0) + name.size());
    if (place_) {
        path = place_->folder;
    }
    path += name;
    return path;
}

bool PRTreeDirNode::hasFilePath(std::string_view path) const {
    const std::string_view folder = place_ ? std::string_view(place_->folder) : std::string_view();
    const std::string_view name = lastName();
    return path.size() == folder.size() + name.size() && path.substr(0, folder.size()) == folder &&
           path.substr(folder.size()) == name;
}

PRTreeDirNode::Place& PRTreeDirNode::ownPlace() {
    auto own = place_ ? std::make_shared<Place>(*place_) : std::make_shared<Place>();
    // The name moves along before the old place may go.
    setNameAt(own->names.keep(lastName()));
    Place& place = *own;
    place_ = std::move(own);
    return place;
}

void PRTreeDirNode::setFilePath(const QString& value) {
    const std::string path = value.toStdString();
    const std::size_t slash = path.rfind('/');
    const std::size_t cut = slash == std::string::npos ? 0 : slash + 1;
    Place& place = ownPlace();
    place.folder = path.substr(0, cut);
    setNameAt(place.names.keep(std::string_view(path).substr(cut)));
}

void PRTreeDirNode::setFileDomain(const QString& value) {
    ownPlace().domain = value;
}

void PRTreeDirNode::setRecord(std::shared_ptr<const Place> place, std::string lastName,
                              const std::string& hexKey) {
    place_ = std::move(place);
    keepLastName(lastName);
    setHasKey(false);
    if (!place_ || !place_->storedIn || hexKey.size() != 2 * key_.size()) {
        return;
    }
    if (!nimbara::backup::fileKeyBytes(hexKey, key_, /*lowerCaseOnly=*/true)) {
        return;
    }
    setHasKey(true);
}

QString PRTreeDirNode::fileKey() const {
    if (!place_) {
        return QString();
    }
    if (!hasKey() || !place_->storedIn) {
        return place_->storedPath;
    }
    static const char* const kDigits = "0123456789abcdef";
    char hex[40];
    for (std::size_t i = 0; i < key_.size(); ++i) {
        hex[2 * i] = kDigits[key_[i] >> 4];
        hex[2 * i + 1] = kDigits[key_[i] & 0x0F];
    }
    QString path = place_->storedIn->prefix;
    path.reserve(path.size() + 43);
    if (place_->storedIn->sharded) {
        path += QLatin1String(hex, 2);
        path += QLatin1Char('/');
    }
    path += QLatin1String(hex, 40);
    return path;
}

PRTreeDirNode::StoredLocation PRTreeDirNode::storedLocation() const {
    StoredLocation where;
    if (!place_) {
        return where;
    }
    if (hasKey() && place_->storedIn) {
        const QString path = fileKey();
        const qsizetype cut = place_->storedIn->prefix.size();
        where.folder = place_->storedIn->prefix.left(cut - 1);
        where.relative = path.mid(cut);
        return where;
    }
    const QString& path = place_->storedPath;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0 || slash + 1 >= path.size()) {
        return where;
    }
    where.folder = path.left(slash);
    where.relative = path.mid(slash + 1);
    return where;
}

void PRTreeDirNode::setFileKey(const QString& value) {
    Place& place = ownPlace();
    place.storedIn.reset();
    place.storedPath = value;
    setHasKey(false);
}

QString PRTreeDirNode::nodeIcon() const {
    switch (isSelected()) {
        case kSelected:
            return QStringLiteral("selected");
        case kSelectedSome:
            return QStringLiteral("selectedSome");
        default:
            return QStringLiteral("unselected");
    }
}

const std::vector<std::shared_ptr<PRTreeDirNode>>& PRTreeDirNode::children() const {
    const Outline* own = folderPart();
    return own != nullptr ? own->children : kNoFolders;
}

const std::vector<std::shared_ptr<PRTreeFileNode>>& PRTreeDirNode::fileChildren() const {
    const Outline* own = folderPart();
    if (own == nullptr) {
        return kNoFiles;
    }
    if (!own->fileTicks.empty()) {
        makeFileNodes();
    }
    return own->fileChildren;
}

namespace {

std::shared_ptr<PRTreeFileNode> fileNodeOf(std::shared_ptr<const PRTreeDirNode> record, bool ticked,
                                           const std::shared_ptr<PRTreeDirNode>& folder) {
    auto file = std::make_shared<PRTreeFileNode>();
    file->setRealFileSize(record->storedSize());
    file->setIsFile(record->isStored());
    file->setBSelected(ticked);
    file->setRecord(std::move(record));
    file->setParent(folder);
    return file;
}

}  // namespace

std::shared_ptr<PRTreeDirNode> PRTreeDirNode::RecordBlocks::make() {
    if (!block_ || used_ == size_) {
        size_ = size_ == 0 ? 8 : std::min<std::size_t>(2 * size_, 1024);
        block_ = std::shared_ptr<PRTreeDirNode[]>(new PRTreeDirNode[size_]);
        used_ = 0;
    }
    return std::shared_ptr<PRTreeDirNode>(block_, &block_[used_++]);
}

std::shared_ptr<const PRTreeDirNode> PRTreeDirNode::recordIn(const Outline& own, std::size_t at) {
    const auto run = std::upper_bound(own.fileRuns.begin(), own.fileRuns.end(), at,
                                      [](std::size_t wanted, const Outline::FileRun& r) {
                                          return wanted < r.start;
                                      }) -
                     1;
    // (an aliasing pointer: it holds what the run's first holds)
    return std::shared_ptr<const PRTreeDirNode>(run->first, run->first.get() + (at - run->start));
}

void PRTreeDirNode::makeFileNodes() const {
    Outline& own = *folderPart();
    const std::shared_ptr<PRTreeDirNode> self = own.self.lock();
    own.fileChildren.reserve(own.fileChildren.size() + own.fileTicks.size());
    for (const Outline::FileRun& run : own.fileRuns) {
        for (std::uint32_t k = 0; k < run.count; ++k) {
            own.fileChildren.push_back(
                fileNodeOf(std::shared_ptr<const PRTreeDirNode>(run.first, run.first.get() + k),
                           own.fileTicks[run.start + k], self));
        }
    }
    own.fileRuns = {};
    own.fileTicks = {};
}

void PRTreeDirNode::setFileChildren(std::vector<std::shared_ptr<PRTreeFileNode>> value) {
    Outline& own = outline();
    own.fileRuns = {};
    own.fileTicks = {};
    own.fileChildren = std::move(value);
}

void PRTreeDirNode::addFileChildren(std::shared_ptr<PRTreeFileNode> file) {
    Outline& own = outline();
    if (!own.fileTicks.empty()) {
        makeFileNodes();
    }
    own.fileChildren.push_back(std::move(file));
}

void PRTreeDirNode::addFileRecord(const std::shared_ptr<PRTreeDirNode>& self,
                                  std::shared_ptr<const PRTreeDirNode> record) {
    Outline& own = outline();
    if (own.self.expired()) {
        own.self = self;
    }
    if (!own.fileChildren.empty()) {
        // The folder's files have their nodes already: this one gets its own at once.
        own.fileChildren.push_back(fileNodeOf(std::move(record), false, self));
        return;
    }
    // The record right after the last run's, in the same block, lengthens the run.
    if (!own.fileRuns.empty()) {
        Outline::FileRun& last = own.fileRuns.back();
        if (last.first.get() + last.count == record.get() && !last.first.owner_before(record) &&
            !record.owner_before(last.first) && last.count < UINT32_MAX) {
            ++last.count;
            own.fileTicks.push_back(false);
            return;
        }
    }
    own.fileRuns.push_back(
        {std::move(record), static_cast<std::uint32_t>(own.fileTicks.size()), 1});
    own.fileTicks.push_back(false);
}

std::size_t PRTreeDirNode::fileCount() const {
    const Outline* own = folderPart();
    if (own == nullptr) {
        return 0;
    }
    return own->fileTicks.empty() ? own->fileChildren.size() : own->fileTicks.size();
}

std::shared_ptr<const PRTreeDirNode> PRTreeDirNode::fileRecordAt(std::size_t at) const {
    const Outline& own = *folderPart();
    if (!own.fileTicks.empty()) {
        return recordIn(own, at);
    }
    const auto& file = own.fileChildren[at];
    return file ? file->record() : nullptr;
}

bool PRTreeDirNode::fileTickedAt(std::size_t at) const {
    const Outline& own = *folderPart();
    if (!own.fileTicks.empty()) {
        return own.fileTicks[at];
    }
    const auto& file = own.fileChildren[at];
    return file && file->bSelected();
}

bool PRTreeDirNode::fileStoredAt(std::size_t at) const {
    const Outline& own = *folderPart();
    if (!own.fileTicks.empty()) {
        return recordIn(own, at)->isStored();
    }
    const auto& file = own.fileChildren[at];
    return file && file->isFile();
}

std::uint64_t PRTreeDirNode::fileSizeAt(std::size_t at) const {
    const Outline& own = *folderPart();
    if (!own.fileTicks.empty()) {
        return recordIn(own, at)->storedSize();
    }
    const auto& file = own.fileChildren[at];
    return file ? file->realFileSize() : 0;
}

std::uint32_t PRTreeDirNode::tickAllFiles(bool ticked) {
    Outline* own = folderPart();
    if (own == nullptr) {
        return 0;
    }
    std::uint32_t stored = 0;
    if (!own->fileTicks.empty()) {
        own->fileTicks.assign(own->fileTicks.size(), ticked);
        if (ticked) {
            for (const Outline::FileRun& run : own->fileRuns) {
                for (std::uint32_t k = 0; k < run.count; ++k) {
                    stored += run.first.get()[k].isStored() ? 1 : 0;
                }
            }
        }
        return stored;
    }
    for (const auto& file : own->fileChildren) {
        if (file) {
            file->setBSelected(ticked);
            stored += ticked && file->isFile() ? 1 : 0;
        }
    }
    return stored;
}

QString PRTreeFileNode::treefileName() const {
    return record_ ? outlineFileName(record_->filePath()) : QString(QLatin1String(""));
}

QString PRTreeFileNode::treefileType() const {
    const QString name = treefileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot + 1 >= name.size()) {
        return name;
    }
    return name.mid(dot + 1);
}

QString PRTreeFileNode::fileSize() const {
    return nimbara::shell::size_to_unit(realFileSize());
}

QString PRTreeFileNode::filePath() const {
    return record_ ? record_->fileKey() : QString();
}

QString PRTreeFileNode::dirFilePath() const {
    if (!record_) {
        return QLatin1String("");
    }
    return record_->fileDomain() + QLatin1Char('/') + outlinePath(record_->filePath());
}

QString outlinePath(const QString& relativePath) {
    QString path = relativePath;
    path.replace(QStringLiteral("/."), QStringLiteral("/"));
    return path;
}

QString outlineFileName(const QString& relativePath) {
    const QString path = outlinePath(relativePath);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}
