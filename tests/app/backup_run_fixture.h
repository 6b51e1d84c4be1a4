// A launched hub whose backups run the real backup tool: the tool built beside the tests, the
// simulated devices of the test's folder, a private backup root, and a speaker that records what
// would have been said.
#pragma once

#include "../support/backup_tool_fixture.h"
#include "delegate_fixture.h"

namespace nimbara::test {

class BackupRunTest : public BackupToolFixture<DelegateTest> {};

}  // namespace nimbara::test
