// The privacy clean: removes the records of a selection (taken on the GUI thread) from the
// working copy of the backup, file by file, then brings the copy's file list up to date. All or
// nothing: the first step that fails ends the clean, the working copy is discarded, and the
// result names the step. Nothing is counted as removed that was not.
//
// Before the first edit the free disk space is checked against what the edits need (a private
// copy of every file to be rewritten, and room for compacting each database).
//
// Runs on the clean thread; reads only the selection and the working copy.
#pragma once

#include <QString>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "privacy/privacy_clean_selection.h"

namespace nimbara::privacy {

class PrivacyWorkingCopy;

enum class PrivacyCleanStep {
    CheckBackup,
    DiskSpace,
    Messages,
    MessageAttachments,
    Calls,
    Contacts,
    SafariHistory,
    Cookies,
    WebCache,
    PhotoPositions,
    WifiNetworks,
    Notes,
    FileList,
};

// The step in words, for the user ("removing the messages").
QString privacyCleanStepText(PrivacyCleanStep step);

// What a clean removed, counted as it happened.
struct PrivacyCleanCounts {
    std::size_t messages = 0;
    std::size_t attachmentFiles = 0;  // stored files of removed attachment rows
    std::size_t calls = 0;
    std::size_t contacts = 0;
    std::size_t historyEntries = 0;
    std::size_t cookies = 0;
    std::size_t emptiedFiles = 0;  // web cache and message attachment files emptied
    std::size_t photoPositions = 0;
    std::size_t wifiNetworks = 0;
    std::size_t notes = 0;
};

struct PrivacyCleanResult {
    bool ok = false;
    PrivacyCleanStep failedStep = PrivacyCleanStep::CheckBackup;  // when !ok
    bool stopped = false;  // the stop check ended it (the working copy is discarded as well)
    QString message;       // when !ok: for the user, naming the step
    std::string error;     // when !ok: for the log
    PrivacyCleanCounts removed;
    // The stored files the clean rewrote or removed in the working copy (names inside it).
    std::vector<std::string> changedFiles;
};

struct PrivacyCleanOptions {
    // Told as each step starts, on the clean thread; may be empty.
    std::function<void(PrivacyCleanStep)> stepStarted;
    // Asked between steps and while a database statement runs; true ends the clean as a failure
    // (nothing is kept). May be empty.
    std::function<bool()> stop;
};

// Cleans the open working copy `copy` of the backup the selection was taken from; a copy of
// another backup is refused. On failure the working copy has been discarded.
PrivacyCleanResult cleanPrivacyWorkingCopy(PrivacyWorkingCopy& copy,
                                           const PrivacyCleanSelection& selection,
                                           const PrivacyCleanOptions& options = {});

}  // namespace nimbara::privacy
