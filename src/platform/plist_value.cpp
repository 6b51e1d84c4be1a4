#include "platform/plist_value.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/partial_file.h"
#include "platform/plist_nesting.h"
#include "platform/text_format.h"

namespace nimbara {

namespace {

const std::string kEmptyString;
const PlistValue::Bytes kEmptyBytes;
const PlistValue::Array kEmptyArray;
const PlistValue::Dict kEmptyDict;
const PlistValue kNullValue;

// Owns a libplist node for the duration of a conversion.
struct PlistNode {
    plist_t node = nullptr;
    explicit PlistNode(plist_t n) : node(n) {}
    ~PlistNode() {
        if (node) {
            plist_free(node);
        }
    }
    PlistNode(const PlistNode&) = delete;
    PlistNode& operator=(const PlistNode&) = delete;
};

void setError(std::string* error, std::string text) {
    if (error) {
        *error = std::move(text);
    }
}

// The input was measured before parsing (plist_nesting.h); this bound only backs that up, on
// the same terms: the outermost container (at depth 0) is level 1.
std::optional<PlistValue> fromNode(plist_t node, int depth) {
    if (!node) {
        return std::nullopt;
    }
    const plist_type type = plist_get_node_type(node);
    if ((type == PLIST_ARRAY || type == PLIST_DICT) && depth >= kMaxPlistDepth) {
        return std::nullopt;
    }
    switch (type) {
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return PlistValue(b != 0);
        }
        case PLIST_UINT: {
            uint64_t v = 0;
            plist_get_uint_val(node, &v);
            // libplist stores every integer as 64 bits; negative values come back two's
            // complement, which the signed cast restores.
            return PlistValue(static_cast<std::int64_t>(v));
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            return PlistValue(d);
        }
        case PLIST_STRING: {
            // Not plist_get_string_val: it asserts when the text holds a NUL character. The
            // text ends at the first one, as libplist's own copies do.
            uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            return PlistValue(text ? std::string(text, ::strnlen(text, length)) : std::string());
        }
        case PLIST_DATA: {
            uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            return bytes ? PlistValue(PlistValue::Bytes(bytes, bytes + length))
                         : PlistValue(PlistValue::Bytes());
        }
        case PLIST_DATE: {
            int32_t sec = 0, usec = 0;
            plist_get_date_val(node, &sec, &usec);
            return PlistValue::date(static_cast<double>(sec) + usec / 1e6);
        }
        case PLIST_UID: {
            uint64_t v = 0;
            plist_get_uid_val(node, &v);
            return PlistValue(static_cast<std::int64_t>(v));
        }
        case PLIST_ARRAY: {
            PlistValue::Array items;
            uint32_t n = plist_array_get_size(node);
            items.reserve(n);
            for (uint32_t i = 0; i < n; ++i) {
                auto item = fromNode(plist_array_get_item(node, i), depth + 1);
                if (!item) {
                    return std::nullopt;
                }
                items.push_back(std::move(*item));
            }
            return PlistValue(std::move(items));
        }
        case PLIST_DICT: {
            PlistValue::Dict entries;
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            if (!it) {
                return PlistValue(std::move(entries));
            }
            bool ok = true;
            for (;;) {
                char* key = nullptr;
                plist_t value = nullptr;
                plist_dict_next_item(node, it, &key, &value);
                if (!key) {
                    break;
                }
                std::string k = key;
                free(key);
                auto v = fromNode(value, depth + 1);
                if (!v) {
                    ok = false;
                    break;
                }
                entries.emplace(std::move(k), std::move(*v));
            }
            free(it);
            if (!ok) {
                return std::nullopt;
            }
            return PlistValue(std::move(entries));
        }
        default:
            return PlistValue();
    }
}

plist_t toNode(const PlistValue& v) {
    switch (v.type()) {
        case PlistValue::Type::Null:
            return plist_new_string("");
        case PlistValue::Type::Bool:
            return plist_new_bool(v.toBool() ? 1 : 0);
        case PlistValue::Type::Integer:
            return plist_new_uint(static_cast<uint64_t>(v.toInt64()));
        case PlistValue::Type::Real:
            return plist_new_real(v.toDouble());
        case PlistValue::Type::String:
            return plist_new_string(v.toString().c_str());
        case PlistValue::Type::Data: {
            const auto& d = v.toData();
            return plist_new_data(reinterpret_cast<const char*>(d.data()), d.size());
        }
        case PlistValue::Type::Date: {
            double s = v.toDateSeconds();
            double whole = std::floor(s);
            return plist_new_date(static_cast<int32_t>(whole),
                                  static_cast<int32_t>(std::lround((s - whole) * 1e6)));
        }
        case PlistValue::Type::Array: {
            plist_t a = plist_new_array();
            for (const auto& item : v.toArray()) {
                plist_array_append_item(a, toNode(item));
            }
            return a;
        }
        case PlistValue::Type::Dict: {
            plist_t d = plist_new_dict();
            for (const auto& [key, item] : v.toDict()) {
                plist_dict_set_item(d, key.c_str(), toNode(item));
            }
            return d;
        }
    }
    return plist_new_string("");
}

}  // namespace

PlistValue::PlistValue(bool b) : type_(Type::Bool), bool_(b) {}
PlistValue::PlistValue(int i) : type_(Type::Integer), int_(i) {}
PlistValue::PlistValue(std::int64_t i) : type_(Type::Integer), int_(i) {}
PlistValue::PlistValue(std::uint64_t i)
    : type_(Type::Integer), int_(static_cast<std::int64_t>(i)) {}
PlistValue::PlistValue(double d) : type_(Type::Real), real_(d) {}
PlistValue::PlistValue(const char* s) : type_(Type::String), string_(s ? s : "") {}
PlistValue::PlistValue(std::string s) : type_(Type::String), string_(std::move(s)) {}
PlistValue::PlistValue(Bytes data) : type_(Type::Data), data_(std::move(data)) {}
PlistValue::PlistValue(Array a)
    : type_(Type::Array), array_(std::make_shared<Array>(std::move(a))) {}
PlistValue::PlistValue(Dict d) : type_(Type::Dict), dict_(std::make_shared<Dict>(std::move(d))) {}

PlistValue::PlistValue(const PlistValue& o)
    : type_(o.type_),
      bool_(o.bool_),
      int_(o.int_),
      real_(o.real_),
      string_(o.string_),
      data_(o.data_),
      array_(o.array_ ? std::make_shared<Array>(*o.array_) : nullptr),
      dict_(o.dict_ ? std::make_shared<Dict>(*o.dict_) : nullptr) {}

PlistValue& PlistValue::operator=(const PlistValue& o) {
    if (this != &o) {
        PlistValue copy(o);
        *this = std::move(copy);
    }
    return *this;
}

PlistValue PlistValue::date(double secondsSince2001) {
    PlistValue v;
    v.type_ = Type::Date;
    v.real_ = secondsSince2001;
    return v;
}

bool PlistValue::toBool(bool fallback) const {
    if (type_ == Type::Bool) {
        return bool_;
    }
    if (type_ == Type::Integer) {
        return int_ != 0;
    }
    return fallback;
}

std::int64_t PlistValue::toInt64(std::int64_t fallback) const {
    if (type_ == Type::Integer) {
        return int_;
    }
    if (type_ == Type::Real) {
        if (!std::isfinite(real_) || real_ >= 9.2e18 || real_ <= -9.2e18) {
            return fallback;
        }
        return static_cast<std::int64_t>(real_);
    }
    return fallback;
}

double PlistValue::toDouble(double fallback) const {
    if (type_ == Type::Real) {
        return real_;
    }
    if (type_ == Type::Integer) {
        return static_cast<double>(int_);
    }
    return fallback;
}

const std::string& PlistValue::toString() const {
    return type_ == Type::String ? string_ : kEmptyString;
}
const PlistValue::Bytes& PlistValue::toData() const {
    return type_ == Type::Data ? data_ : kEmptyBytes;
}
double PlistValue::toDateSeconds() const {
    return type_ == Type::Date ? real_ : 0;
}
const PlistValue::Array& PlistValue::toArray() const {
    return type_ == Type::Array ? *array_ : kEmptyArray;
}
const PlistValue::Dict& PlistValue::toDict() const {
    return type_ == Type::Dict ? *dict_ : kEmptyDict;
}

PlistValue::Array& PlistValue::asArray() {
    if (type_ != Type::Array) {
        *this = PlistValue(Array{});
    }
    return *array_;
}

PlistValue::Dict& PlistValue::asDict() {
    if (type_ != Type::Dict) {
        *this = PlistValue(Dict{});
    }
    return *dict_;
}

bool PlistValue::contains(const std::string& key) const {
    return find(key) != nullptr;
}

const PlistValue* PlistValue::find(const std::string& key) const {
    if (type_ != Type::Dict) {
        return nullptr;
    }
    auto it = dict_->find(key);
    return it == dict_->end() ? nullptr : &it->second;
}

const PlistValue& PlistValue::operator[](const std::string& key) const {
    const PlistValue* v = find(key);
    return v ? *v : kNullValue;
}

PlistValue& PlistValue::operator[](const std::string& key) {
    return asDict()[key];
}

PlistValue& PlistValue::set(const std::string& key, PlistValue v) {
    auto& slot = asDict()[key];
    slot = std::move(v);
    return slot;
}

PlistValue& PlistValue::append(PlistValue v) {
    asArray().push_back(std::move(v));
    return array_->back();
}

std::size_t PlistValue::size() const {
    switch (type_) {
        case Type::Array:
            return array_->size();
        case Type::Dict:
            return dict_->size();
        case Type::String:
            return string_.size();
        case Type::Data:
            return data_.size();
        default:
            return 0;
    }
}

std::string PlistValue::description() const {
    switch (type_) {
        case Type::Null:
            return "<null>";
        case Type::Bool:
            return bool_ ? "true" : "false";
        case Type::Integer:
            return std::to_string(int_);
        case Type::Real:
            return formatDouble(real_);
        case Type::String:
            return string_;
        case Type::Data:
            return "<data " + std::to_string(data_.size()) + " bytes>";
        case Type::Date:
            return "<date " + formatDouble(real_) + ">";
        case Type::Array: {
            std::string out = "(";
            bool first = true;
            for (const auto& item : *array_) {
                out += first ? "" : ", ";
                out += item.description();
                first = false;
            }
            return out + ")";
        }
        case Type::Dict: {
            std::string out = "{";
            bool first = true;
            for (const auto& [key, item] : *dict_) {
                out += first ? "" : "; ";
                out += key + " = " + item.description();
                first = false;
            }
            return out + "}";
        }
    }
    return {};
}

std::optional<PlistValue> PlistValue::parse(const void* data, std::size_t length,
                                            std::string* error) {
    if (!data || length < 8) {
        setError(error, "The data is too short to be a property list.");
        return std::nullopt;
    }
    if (length > UINT32_MAX) {
        setError(error, "The property list is too large to read.");
        return std::nullopt;
    }
    // libplist builds and frees its trees recursively: the depth is checked before it sees them.
    if (auto problem = plistNestingProblem(data, length)) {
        setError(error, std::move(*problem));
        return std::nullopt;
    }
    plist_t root = nullptr;
    const char* bytes = static_cast<const char*>(data);
    const auto size = static_cast<uint32_t>(length);
    if (isBinaryPlist(data, length)) {
        plist_from_bin(bytes, size, &root);
    } else {
        plist_from_xml(bytes, size, &root);
    }
    PlistNode owner(root);
    if (!root) {
        setError(error, "The data is not a readable property list.");
        return std::nullopt;
    }
    auto value = fromNode(root, 0);
    if (!value) {
        setError(error, kPlistDeeperThanMeasured);
    }
    return value;
}

std::optional<PlistValue> PlistValue::readOpenFile(int fd, std::string* error,
                                                   std::uint64_t maxBytes) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        setError(error, std::string("The file cannot be examined: ") + std::strerror(errno) + ".");
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        setError(error, "The file is not a regular file.");
        return std::nullopt;
    }
    const auto tooLarge = [&] {
        setError(error, "The file is larger than the " + std::to_string(maxBytes) +
                            " bytes a property list may have here.");
        return std::nullopt;
    };
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        return tooLarge();
    }
    // The file may grow while it is read: at most one byte more than allowed is read.
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t done = 0;
    for (;;) {
        if (done == bytes.size()) {
            if (bytes.size() > maxBytes) {
                return tooLarge();
            }
            bytes.resize(std::min<std::uint64_t>(maxBytes + 1, bytes.size() * 2 + 4096));
        }
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n == 0) {
            break;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            setError(error, std::string("The file cannot be read: ") + std::strerror(errno) + ".");
            return std::nullopt;
        }
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return parse(bytes, error);
}

std::optional<PlistValue> PlistValue::readFile(const std::string& path, std::string* error,
                                               std::uint64_t maxBytes) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        setError(error, std::string("The file cannot be opened: ") + std::strerror(errno) + ".");
        return std::nullopt;
    }
    auto value = readOpenFile(fd, error, maxBytes);
    ::close(fd);
    return value;
}

std::string PlistValue::toXml() const {
    PlistNode node(toNode(*this));
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(node.node, &xml, &length);
    std::string out = xml ? std::string(xml, length) : std::string();
    if (xml) {
        plist_to_xml_free(xml);
    }
    return out;
}

PlistValue::Bytes PlistValue::toBinary() const {
    PlistNode node(toNode(*this));
    char* bin = nullptr;
    uint32_t length = 0;
    plist_to_bin(node.node, &bin, &length);
    Bytes out = bin ? Bytes(bin, bin + length) : Bytes();
    if (bin) {
        plist_to_bin_free(bin);
    }
    return out;
}

bool PlistValue::writeFile(const std::string& path) const {
    const std::string xml = toXml();
    if (xml.empty()) {
        return false;
    }
    PartialFile out(path);
    return out.write(xml.data(), xml.size()) && out.commit();
}

bool operator==(const PlistValue& a, const PlistValue& b) {
    if (a.type_ != b.type_) {
        return false;
    }
    switch (a.type_) {
        case PlistValue::Type::Null:
            return true;
        case PlistValue::Type::Bool:
            return a.bool_ == b.bool_;
        case PlistValue::Type::Integer:
            return a.int_ == b.int_;
        case PlistValue::Type::Real:
        case PlistValue::Type::Date:
            return a.real_ == b.real_;
        case PlistValue::Type::String:
            return a.string_ == b.string_;
        case PlistValue::Type::Data:
            return a.data_ == b.data_;
        case PlistValue::Type::Array:
            return *a.array_ == *b.array_;
        case PlistValue::Type::Dict:
            return *a.dict_ == *b.dict_;
    }
    return false;
}

}  // namespace nimbara
