// Names of the notifications the backup scan's record readers post, one record per post; the
// object is a std::shared_ptr of the record node named beside it. The manifest pass and the
// contact reader declare their own names (manifest_pass.h, contact_reader.h).
#pragma once

namespace nimbara::backup {

// std::shared_ptr<PRMessageNode>
inline constexpr const char* kScanMessageInfo = "ScanMessageInfo";
// std::shared_ptr<PRCallHistoryNode>
inline constexpr const char* kScanCallHistoryInfo = "ScanCallHistoryInfo";
// std::shared_ptr<PRNoteNode>
inline constexpr const char* kScanNoteInfo = "ScanNoteInfo";
// std::shared_ptr<PRBookMarkNode>
inline constexpr const char* kScanBookMarkInfo = "scanBookMarkInfo";
// std::shared_ptr<PRCalenderNode>
inline constexpr const char* kScanCalenderInfo = "scanCalenderInfo";

// Records recovered from the free space of a database, same objects as above.
inline constexpr const char* kScanDelContactInfo = "ScanDelContactInfo";
inline constexpr const char* kScanDelMessageInfo = "ScanDelMessageInfo";
inline constexpr const char* kScanDelNoteInfo = "ScanDelNoteInfo";
inline constexpr const char* kScanDelCallHistoryInfo = "ScanDelCallHistoryInfo";
inline constexpr const char* kScanDelBookMarkInfo = "scanDelBookMarkInfo";
inline constexpr const char* kScanDelCalenderInfo = "scanDelCalenderInfo";

}  // namespace nimbara::backup
