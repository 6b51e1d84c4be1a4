#include "backup/pr_tree_dir_node.h"

#include "ui/core/text_utilities.h"

namespace {

const std::vector<std::shared_ptr<PRTreeDirNode>> kNoFolders;
const std::vector<std::shared_ptr<PRTreeFileNode>> kNoFiles;

int hexDigit(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

}  // namespace

PRTreeDirNode::~PRTreeDirNode() {
    if (!outline_) {
        return;
    }
    std::vector<std::shared_ptr<PRTreeDirNode>> pending = std::move(outline_->children);
    while (!pending.empty()) {
        std::shared_ptr<PRTreeDirNode> node = std::move(pending.back());
        pending.pop_back();
        if (node.use_count() == 1 && node->outline_) {
            for (auto& child : node->outline_->children) {
                pending.push_back(std::move(child));
            }
            node->outline_->children.clear();
        }
    }
}

QString PRTreeDirNode::filePath() const {
    return QString::fromStdString(filePathUtf8());
}

std::string PRTreeDirNode::filePathUtf8() const {
    return place_ ? place_->folder + lastName_ : lastName_;
}

bool PRTreeDirNode::hasFilePath(std::string_view path) const {
    const std::string_view folder = place_ ? std::string_view(place_->folder) : std::string_view();
    return path.size() == folder.size() + lastName_.size() &&
           path.substr(0, folder.size()) == folder && path.substr(folder.size()) == lastName_;
}

PRTreeDirNode::Place& PRTreeDirNode::ownPlace() {
    auto own = place_ ? std::make_shared<Place>(*place_) : std::make_shared<Place>();
    Place& place = *own;
    place_ = std::move(own);
    return place;
}

void PRTreeDirNode::setFilePath(const QString& value) {
    std::string path = value.toStdString();
    const std::size_t slash = path.rfind('/');
    const std::size_t cut = slash == std::string::npos ? 0 : slash + 1;
    ownPlace().folder = path.substr(0, cut);
    lastName_ = path.substr(cut);
}

void PRTreeDirNode::setFileDomain(const QString& value) {
    ownPlace().domain = value;
}

void PRTreeDirNode::setRecord(std::shared_ptr<const Place> place, std::string lastName,
                              const std::string& hexKey) {
    place_ = std::move(place);
    lastName_ = std::move(lastName);
    hasKey_ = false;
    if (!place_ || !place_->storedIn || hexKey.size() != 2 * key_.size()) {
        return;
    }
    for (std::size_t i = 0; i < key_.size(); ++i) {
        const int high = hexDigit(hexKey[2 * i]);
        const int low = hexDigit(hexKey[2 * i + 1]);
        if (high < 0 || low < 0) {
            return;
        }
        key_[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    hasKey_ = true;
}

QString PRTreeDirNode::fileKey() const {
    if (!place_) {
        return QString();
    }
    if (!hasKey_ || !place_->storedIn) {
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
    if (hasKey_ && place_->storedIn) {
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
    hasKey_ = false;
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
    return outline_ ? outline_->children : kNoFolders;
}

const std::vector<std::shared_ptr<PRTreeFileNode>>& PRTreeDirNode::fileChildren() const {
    return outline_ ? outline_->fileChildren : kNoFiles;
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
