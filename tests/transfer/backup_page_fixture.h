// The transfer pages that back a device up, without the shell: the fixture of the device pages
// with the real backup tool.
#pragma once

#include "../filemanager/device_page_fixture.h"
#include "../support/backup_tool_fixture.h"

namespace nimbara::test {

class BackupToolPageTest : public BackupToolFixture<DevicePageTest> {};

}  // namespace nimbara::test
