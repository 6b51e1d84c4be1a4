// A property-list value: null, boolean, integer, real, string, data, date, array or dictionary.
//
// Values are plain C++ values (copying copies the tree). Shared immutable snapshots are passed
// around as std::shared_ptr<const PlistValue>. Parsing reads XML and binary property lists through
// libplist; writing produces XML (or binary where a peer wants it).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace nimbara {

class PlistValue {
  public:
    enum class Type { Null, Bool, Integer, Real, String, Data, Date, Array, Dict };

    using Array = std::vector<PlistValue>;
    using Dict = std::map<std::string, PlistValue>;
    using Bytes = std::vector<std::uint8_t>;

    PlistValue() = default;
    PlistValue(bool b);
    PlistValue(int i);
    PlistValue(std::int64_t i);
    PlistValue(std::uint64_t i);
    PlistValue(double d);
    PlistValue(const char* s);
    PlistValue(std::string s);
    PlistValue(Bytes data);
    PlistValue(Array a);
    PlistValue(Dict d);

    // Seconds since 2001-01-01 00:00:00 UTC, the property-list epoch.
    static PlistValue date(double secondsSince2001);
    static PlistValue array() { return PlistValue(Array{}); }
    static PlistValue dict() { return PlistValue(Dict{}); }

    Type type() const { return type_; }
    bool isNull() const { return type_ == Type::Null; }
    bool isBool() const { return type_ == Type::Bool; }
    bool isInteger() const { return type_ == Type::Integer; }
    bool isReal() const { return type_ == Type::Real; }
    bool isNumber() const { return type_ == Type::Integer || type_ == Type::Real; }
    bool isString() const { return type_ == Type::String; }
    bool isData() const { return type_ == Type::Data; }
    bool isDate() const { return type_ == Type::Date; }
    bool isArray() const { return type_ == Type::Array; }
    bool isDict() const { return type_ == Type::Dict; }

    // Typed reads; a value of another type gives the fallback.
    bool toBool(bool fallback = false) const;
    std::int64_t toInt64(std::int64_t fallback = 0) const;  // reals are truncated
    double toDouble(double fallback = 0) const;
    const std::string& toString() const;  // empty for non-strings
    const Bytes& toData() const;          // empty for non-data
    double toDateSeconds() const;         // seconds since 2001 for dates, else 0
    const Array& toArray() const;         // empty for non-arrays
    const Dict& toDict() const;           // empty for non-dictionaries

    // Mutable access; converts a null value into the container on first use.
    Array& asArray();
    Dict& asDict();

    // Dictionary helpers.
    bool contains(const std::string& key) const;
    const PlistValue* find(const std::string& key) const;  // null when absent or not a dictionary
    const PlistValue& operator[](const std::string& key) const;  // a null value when absent
    PlistValue& operator[](const std::string& key);              // inserts
    PlistValue& set(const std::string& key, PlistValue v);

    // Array helper.
    PlistValue& append(PlistValue v);
    std::size_t size() const;  // elements, entries, characters or bytes

    // A short text form: strings as they are, numbers in decimal (locale-independent),
    // booleans as "true"/"false", containers as a bracketed description.
    std::string description() const;

    // Parsing: XML or binary, detected from the data. nullopt when the data is not a property
    // list, or nests arrays and dictionaries more than kMaxPlistDepth levels deep (refused before
    // any parser sees it); `error` (when given) then says why.
    static std::optional<PlistValue> parse(const void* data, std::size_t length,
                                           std::string* error = nullptr);
    static std::optional<PlistValue> parse(const std::string& data, std::string* error = nullptr) {
        return parse(data.data(), data.size(), error);
    }

    // Reads a property-list file: a regular file (a link is followed) of at most `maxBytes`
    // bytes, refused unread when larger. A fifo or device is refused without waiting on it.
    static constexpr std::uint64_t kMaxFileBytes = 256ull * 1024 * 1024;
    static std::optional<PlistValue> readFile(const std::string& path, std::string* error = nullptr,
                                              std::uint64_t maxBytes = kMaxFileBytes);
    // The same for a file already opened (read from its current offset); the caller keeps the
    // descriptor.
    static std::optional<PlistValue> readOpenFile(int fd, std::string* error = nullptr,
                                                  std::uint64_t maxBytes = kMaxFileBytes);

    std::string toXml() const;
    Bytes toBinary() const;
    // Writes XML to a temporary file beside the target and renames it into place.
    bool writeFile(const std::string& path) const;

    friend bool operator==(const PlistValue& a, const PlistValue& b);
    friend bool operator!=(const PlistValue& a, const PlistValue& b) { return !(a == b); }

  private:
    Type type_ = Type::Null;
    bool bool_ = false;
    std::int64_t int_ = 0;
    double real_ = 0;  // also the date
    std::string string_;
    Bytes data_;
    std::shared_ptr<Array> array_;  // never shared between values: copied on copy
    std::shared_ptr<Dict> dict_;

  public:
    PlistValue(const PlistValue& other);
    PlistValue& operator=(const PlistValue& other);
    PlistValue(PlistValue&&) noexcept = default;
    PlistValue& operator=(PlistValue&&) noexcept = default;
    ~PlistValue() = default;
};

using PlistRef = std::shared_ptr<const PlistValue>;

}  // namespace nimbara
