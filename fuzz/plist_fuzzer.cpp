// Feeds arbitrary bytes to the property-list reader (XML and binary): it must refuse what it
// cannot read, never overflow the stack, loop or read out of bounds, and say why it refused.
// The nesting measure must follow the parser: a tree that turns out deeper than measured is a
// failure. What was read is written again as XML and binary and read back (text that is not
// UTF-8 may not survive that, so only crashes count there).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/plist_nesting.h"
#include "platform/plist_value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using nimbara::PlistValue;
    std::string error;
    const auto value = PlistValue::parse(data, size, &error);
    if (!value) {
        if (error.empty() || error == nimbara::kPlistDeeperThanMeasured) {
            std::abort();
        }
        return 0;
    }
    const std::string xml = value->toXml();
    const auto binary = value->toBinary();
    (void)PlistValue::parse(xml);
    (void)PlistValue::parse(binary.data(), binary.size());
    return 0;
}
