// Property lists between libplist's nodes, as libimobiledevice takes and gives them, and
// PlistValue.
#pragma once

#include <plist/plist.h>

#include <memory>
#include <optional>

#include "platform/plist_value.h"

namespace nimbara::backup {

struct PlistFree {
    void operator()(void* p) const { plist_free(static_cast<plist_t>(p)); }
};
using PlistHolder = std::unique_ptr<void, PlistFree>;

// nullopt for a null node.
std::optional<PlistValue> toValue(plist_t node);
PlistHolder toNode(const PlistValue& value);

}  // namespace nimbara::backup
