// Whether a restore of a cleaned backup took on the device: the records the clean removed are
// looked for, by the keys the selection names them with, in a backup made of the device after the
// restore and read with the same readers as the scan.
//
// A removed record is still there when the read-back holds, in the same stored file (by domain
// and path), a row with its primary key, a list entry or cookie with its digest (or, for an entry
// of a dictionary, its name: an entry whose contents changed is still the same entry), a cache or
// attachment file that is not empty, or a photo with a position. A list or file the read-back
// does not hold at all holds none of the records. Positions in lists are not compared: they move
// when an entry before them goes.
//
// Only the safe mistake is possible: a key the device gave a new record after the restore counts
// as still there (the restore is not confirmed), never the other way. A kind whose file the
// read-back has but could not read to its end, whose database (of messages, contacts, calls or
// notes) the read-back does not hold, or whose rows it read from another database than the one
// (by domain and path) the removed rows came from, is named as unread: nothing is confirmed about
// it. A read-back without a file list, or refused, leaves every kind with removed records unread.
#pragma once

#include <QString>
#include <QStringList>

#include "privacy/privacy_clean_selection.h"
#include "privacy/privacy_cleaner.h"

namespace nimbara::privacy {

struct PrivacyScanResult;

struct RestoreCheck {
    // Removed records that the device still holds, by kind (attachmentFiles is not counted: the
    // attachment rows go with their messages, whose rows are).
    PrivacyCleanCounts stillThere;
    // The kinds, in words ("messages", "cookies"), whose read-back could not be checked.
    QStringList unread;

    bool confirmed() const;
};

RestoreCheck checkRemovedRecords(const PrivacyCleanSelection& removed,
                                 const PrivacyScanResult& readBack);

// The records counted, for the user: "3 messages, 1 note and 2 cookies"; empty when none.
QString privacyCountsText(const PrivacyCleanCounts& counts);

}  // namespace nimbara::privacy
