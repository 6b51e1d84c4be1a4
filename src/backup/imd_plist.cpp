#include "backup/imd_plist.h"

namespace nimbara::backup {

std::optional<PlistValue> toValue(plist_t node) {
    if (node == nullptr) {
        return std::nullopt;
    }
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(node, &xml, &length);
    if (xml == nullptr) {
        return std::nullopt;
    }
    auto value = PlistValue::parse(xml, length);
    plist_to_xml_free(xml);
    return value;
}

PlistHolder toNode(const PlistValue& value) {
    const std::string xml = value.toXml();
    plist_t node = nullptr;
    plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &node);
    return PlistHolder(node);
}

}  // namespace nimbara::backup
