// What a backup of the demo iPhone holds: the address book, the camera roll and preferences.
#include <system_error>

#include "backup_source.h"
#include "folder_steps.h"
#include "generated_images.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/plist_value.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;

std::vector<BackupContact> demoContacts() {
    std::vector<BackupContact> people;
    auto add = [&people](BackupContact c) { people.push_back(std::move(c)); };
    add({.first = "Amelia",
         .last = "Hartwell",
         .organization = "Hartwell & Finch",
         .department = "Litigation",
         .jobTitle = "Partner",
         .note = "Met at the harbour conference; prefers e-mail.",
         .birthday = addressBookDate(1984, 3, 17),
         .phones = {"+1 (415) 555-0188", "+1 (415) 555-0102"},
         .emails = {"amelia@hartwellfinch.example"},
         .addresses = {"210 Pine Street, San Francisco, 94104, United States"},
         .homepages = {"https://hartwellfinch.example"},
         .imagePng = makeAppIconPng("Amelia", "contact-amelia", 120)});
    add({.first = "Bruno",
         .last = "Castellane",
         .phones = {"+1 (628) 555-0131"},
         .emails = {"bruno.castellane@mailbox.example"},
         .imagePng = makeAppIconPng("Bruno", "contact-bruno", 120)});
    add({.first = "Chiara",
         .middle = "Lucia",
         .last = "Ventimiglia",
         .organization = "Ostro Design Studio",
         .jobTitle = "Art Director",
         .birthday = addressBookDate(1990, 11, 2),
         .phones = {"+39 02 5550 1187"},
         .emails = {"chiara@ostro.example", "c.ventimiglia@mailbox.example"},
         .addresses = {"Via Tortona 31, Milano, 20144, Italy"}});
    add({.first = "Dmitri",
         .last = "Volkonsky",
         .nickname = "Dima",
         .note = "Climbing partner, Thursdays.",
         .phones = {"+1 (510) 555-0164"}});
    add({.first = "Mom",
         .phones = {"+1 (707) 555-0119", "+1 (707) 555-0177"},
         .addresses = {"44 Orchard Lane, Sebastopol, 95472, United States"},
         .imagePng = makeAppIconPng("Mom", "contact-mom", 120)});
    add({.first = "Emeka",
         .last = "Okonkwo-Reyes",
         .organization = "Bayline Clinic",
         .department = "Dentistry",
         .jobTitle = "Dentist",
         .phones = {"+1 (415) 555-0150"},
         .emails = {"frontdesk@bayline.example"},
         .addresses = {"1800 Divisadero Street, San Francisco, 94115, United States"},
         .homepages = {"https://bayline.example/dentistry"}});
    add({.first = "Frida",
         .last = "Lindqvist",
         .birthday = addressBookDate(1993, 6, 8),
         .phones = {"+46 70 555 12 34"},
         .emails = {"frida.lindqvist@post.example"}});
    add({.last = "Garrison",
         .organization = "Garrison Plumbing",
         .note = "Emergency line answers at night.",
         .phones = {"+1 (415) 555-0196"}});
    add({.first = "Hana",
         .last = "Takeda",
         .organization = "Kestrel Labs",
         .jobTitle = "Research Engineer",
         .birthday = addressBookDate(1988, 1, 29),
         .phones = {"+1 (650) 555-0123"},
         .emails = {"hana@kestrel-labs.example"},
         .imagePng = makeAppIconPng("Hana", "contact-hana", 120)});
    add({.first = "Isaac",
         .last = "Mbeki",
         .phones = {"+1 (415) 555-0145"},
         .emails = {"isaac.mbeki@mailbox.example"},
         .addresses = {"77 Guerrero Street, San Francisco, 94103, United States"}});
    add({.first = "Josefine",
         .last = "Albrecht",
         .organization = "Stadtbibliothek Kiel",
         .jobTitle = "Librarian",
         .phones = {"+49 431 555 0192"},
         .emails = {"j.albrecht@bibliothek.example"}});
    add({.organization = "Lantern Books",
         .note = "Orders ready for pick-up after 2 pm.",
         .phones = {"+1 (415) 555-0110"},
         .homepages = {"https://lanternbooks.example"}});
    add({.first = "Mateo",
         .last = "Quintana",
         .birthday = addressBookDate(1979, 9, 23),
         .phones = {"+34 655 55 01 72"},
         .emails = {"mateo.q@correo.example"},
         .addresses = {"Calle de Atocha 12, Madrid, 28012, Spain"}});
    add({.first = "Noor",
         .last = "Haddad",
         .organization = "Cedar Accounting",
         .department = "Tax",
         .phones = {"+1 (408) 555-0158"},
         .emails = {"noor@cedar-accounting.example"}});
    add({.first = "Priya",
         .last = "Raman",
         .nickname = "Pri",
         .note = "Allergic to peanuts.",
         .birthday = addressBookDate(1995, 12, 30),
         .phones = {"+1 (415) 555-0137"},
         .emails = {"priya.raman@mailbox.example"}});
    return people;
}

void addDemoBackupSource(const SimDeviceBuilder& b) {
    addBackupAddressBook(b, demoContacts());

    // The camera roll as the backup holds it: the photos of the media root.
    const fs::path photos = b.dir() / md::sim::kMediaDir / "DCIM" / "100APPLE";
    forEachEntry(photos, false, [&](const fs::directory_entry& entry) {
        const std::string name = entry.path().filename().string();
        std::error_code ec;
        if (!entry.is_regular_file(ec) || entry.path().extension() != ".JPG") {
            return;
        }
        const fs::path copy =
            backupSourcePath(b.dir(), "CameraRollDomain", "Media/DCIM/100APPLE/" + name);
        makeFolders(copy.parent_path());
        copyFileAndTime(entry.path(), copy);
    });
    addBackupDir(b, "CameraRollDomain", "Media/PhotoData");

    PlistValue global = PlistValue::dict();
    global["AppleLanguages"] = PlistValue(PlistValue::Array{"en-US", "de-DE"});
    global["AppleLocale"] = "en_US";
    global["AppleICUForce24HourTime"] = true;
    addBackupFile(b, "HomeDomain", "Library/Preferences/.GlobalPreferences.plist", global.toXml());
    PlistValue board = PlistValue::dict();
    board["SBShowBatteryPercentage"] = true;
    board["SBAutoLockTime"] = 120;
    addBackupFile(b, "HomeDomain", "Library/Preferences/com.apple.springboard.plist",
                  board.toXml());
    PlistValue phone = PlistValue::dict();
    phone["DialerSavedNumber"] = "+1 (415) 555-0137";
    phone["VoicemailGreetingType"] = "Default";
    addBackupFile(b, "HomeDomain", "Library/Preferences/com.apple.mobilephone.plist",
                  phone.toXml());
    addBackupDir(b, "HomeDomain", "Library/Caches");
}

}  // namespace nimbara::simdev
