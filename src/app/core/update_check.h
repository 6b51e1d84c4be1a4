// The update check's rules, without widgets or network: where the version list is fetched from,
// how its answer is read, and how two versions compare.
//
// The answer comes from the network and is untrusted: it is read in memory only, refused when it
// is larger or nests deeper than a version list ever needs, and each field is checked for its
// type before it is used.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QVersionNumber>

#include <optional>

class QSettings;

namespace nimbara::app {

// Where the version list is fetched from: the address under kUpdateAddressKey in the settings.
// There is no server to fall back on: without an address the check fails without a request.
inline constexpr char kUpdateAddressKey[] = "UpdateCheck/Address";
// The page a newer version is downloaded from.
inline constexpr char kDownloadPage[] = "https://nimbara.example/nimbara.html";

// A version list is two short texts: anything larger or nested deeper is refused unread.
inline constexpr qsizetype kMaxUpdateAnswerBytes = 64 * 1024;
inline constexpr int kMaxUpdateAnswerDepth = 4;

// The address the check fetches. nullopt, with `error` saying why, when the stored address is
// not an http or https address with a host (no other scheme is fetched); `unset` (when given)
// tells whether no address is set at all (missing or blank).
std::optional<QUrl> updateAddress(const QSettings& settings, QString* error = nullptr,
                                  bool* unset = nullptr);

// What the failure window tells the user who asked for the check. With no address set: that no
// update server is set and where one is set (kUpdateAddressKey in `settingsFile`), since trying
// again can't help. Otherwise `reason` as a sentence, and to try again later.
QString updateFailureText(const QString& reason, bool unset, const QString& settingsFile);

// A version in dotted form ("1.10.2"): numbers only, separated by single dots. nullopt for
// anything else (empty text, letters, a trailing dot, a number too large).
std::optional<QVersionNumber> parseVersion(const QString& text);

// True when `candidate` is a newer version than `running`, comparing part by part as numbers
// ("1.10" is newer than "1.9", "1.2" newer than "1.1.5", "1.2.0" the same as "1.2"). False when
// either is not a version.
bool isNewerVersion(const QString& candidate, const QString& running);

// What the version list says.
struct UpdateAnswer {
    QString lastestVersion;  // the newest version, a valid dotted version
    QString whatsNew;        // the news text ("*" stands for a line break); may be empty
};

// Reads the body the server sent: a property list (XML or binary) whose top level is a
// dictionary with the string "lastestVersion" holding a version and, optionally, the string
// "WhatsNew". nullopt, with `error` saying why, for anything else.
std::optional<UpdateAnswer> parseUpdateAnswer(const QByteArray& body, QString* error = nullptr);

// The news text as shown: every "*" becomes a line break.
QString newsText(const QString& whatsNew);

}  // namespace nimbara::app
