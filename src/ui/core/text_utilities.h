// The shell's shared conversions: byte counts to size texts and back, database C texts to
// strings, timestamps to date texts, call and track durations, file extensions to media kinds,
// and phone numbers to contact names. Pure functions without widgets; safe on any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <QTimeZone>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class PRContactNode;

namespace nimbara::shell {

// ---- size texts ----

// The size text of `bytes` in decimal steps of 1000 with two decimals and no blank before the
// unit: "999.00bytes", "1.00KB", "1.50MB", "2.00GB", "1.00TB". The unit follows the byte count
// and the quotient is worked out in single precision, so 999,999 bytes reads "1000.00KB".
QString size_to_unit(std::uint64_t bytes);

// The byte count of a size text: "1.00KB" gives 1000, "512.00bytes" 512, "7TB"
// 7,000,000,000,000. The unit is case-sensitive; any other ending, an empty text or a number
// that is negative or too large for 64 bits gives 0.
std::uint64_t sizeFormString(const QString& sizeText);

// The leading decimal number of a text as a string-to-number reader sees it: leading blanks are
// skipped, reading stops at the first character that doesn't fit, and a text without a number
// reads as 0. leadingInt saturates at the int range.
double leadingDouble(QStringView text);
int leadingInt(QStringView text);

// The number with "0" put in front until it is eight characters long ("00000042"); longer
// numbers are left as they are.
QString getFullName(std::uint64_t number);

// ---- file kinds ----

// The 0-based position of `extension` (without the dot, any case) in the image, video or audio
// extension table; -1 for a null pointer or an extension that isn't listed.
int GetImageType(const char* extension);
int GetViedoType(const char* extension);
int GetAudioType(const char* extension);
int GetImageType(const QString& extension);
int GetViedoType(const QString& extension);
int GetAudioType(const QString& extension);

// The tables themselves, in lookup order (upper case, without the closing empty entry).
std::span<const char* const> imageTypeTable();
std::span<const char* const> videoTypeTable();
std::span<const char* const> audioTypeTable();

// The extension of a path: the text after its last ".". Nothing for a null path, a path
// without ".", a last "." that belongs to a folder, or an extension of 20 characters or more
// (dot included, 21 or more).
std::optional<std::string> getSuffix(const char* path);

// ---- C texts ----

// Writes the characters of the UTF-8 text `utf8` as UTF-32 units into `uncode` (capacity `count`
// units, cleared first), ends them with a 0 unit and returns how many were written. Text that
// is not valid UTF-8 writes nothing and gives 0; a text longer than the buffer is cut.
int Char2Unicode(const char* utf8, char32_t* uncode, int count);

// The UTF-8 C text as a string. Bytes that are not valid UTF-8 (and a null pointer) give an
// empty string, never a null one.
QString GetStringFormChar(const char* utf8);

// The 0-terminated UTF-32 text as a string; a null pointer gives " " (one blank).
QString GetNSStringDate(const char32_t* text);
QString GetNSStringDate(const std::optional<std::u32string>& text);

// ---- dates and durations ----

// The date text "MM-DD-YYYY HH:MM" of a timestamp in the given zone (local time without one).
// `fileType` 1: the seconds count from 2001-01-01 00:00:00 UTC (note dates). Any other kind: the
// seconds count from 1970-01-01 00:00:00 UTC, except that a value whose local year is before
// 1990 is taken as counted from 2001. Nothing when the time can't be converted.
std::optional<std::u32string> GetDateTime(std::int64_t seconds, int fileType);
std::optional<std::u32string> GetDateTime(std::int64_t seconds, int fileType,
                                          const QTimeZone& zone);

// Seconds between 1970-01-01 and 2001-01-01, both 00:00:00 UTC.
inline constexpr std::int64_t kSecondsFrom1970To2001 = 978'307'200;

// A phone database stamp: the number's first ten digits as Unix seconds, described as
// "YYYY-MM-DD HH:MM:SS +0000" (UTC). A number of fewer than 11 characters gives " ".
QString GetPhoneDate(std::int64_t number);

// "HH:MM:SS" of a time in milliseconds (hours may have more digits): 3,723,000 gives "01:02:03".
QString getCallHistoryDate(int milliseconds);

// A call's duration in its largest unit, truncated: "0 second", "59 seconds", "1 minute",
// "2 minutes", "1 hour", "2 hours".
QString getCallHistoryDuration(int seconds);

// ---- contact look-up ----

using ContactList = std::vector<std::shared_ptr<PRContactNode>>;

// The name of the first contact whose number matches `phoneNumber`, or a null text. Numbers are
// compared without "-", "(", ")" and blanks: the middle part of the shorter number (from a
// quarter of its length, half plus a quarter long) must occur in the longer one, ignoring case.
QString getNameByPhoneNumber(const QString& phoneNumber, const ContactList& contactArray);

// As above, but the middle part must also be at least 6 characters long. On a match the contact's
// picture is stored in `messageContactData`; without a match it is left untouched.
QString getNameByPhoneNumber(const QString& phoneNumber, const ContactList& contactArray,
                             QByteArray& messageContactData);

// The same over the contacts of the copy readers.
QString getTransNameByPhoneNumber(const QString& phoneNumber, const ContactList& transContactArray,
                                  QByteArray& messageContactData);

}  // namespace nimbara::shell
