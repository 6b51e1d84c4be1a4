// Pairing state of the simulated USB side, both halves of it:
//  - the host's pair records, kept as the usbmux daemon keeps them: one record per device UDID
//    (a property list the client made when it paired), saved and read back by clients, and the
//    host's system BUID;
//  - the devices' memory of the hosts they trust: the HostIDs each device accepted.
//
// A record found in the record folder when the server starts (the tests' own records) makes its
// HostID trusted by that device, as if the pairing had happened; a record saved later is only
// kept: the device trusts a host it accepted in a Pair, as a real one does. With a folder,
// records are kept there as "<udid>.plist"; without one they live in memory only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace nimbara::usbmuxsim {

class PairRecords {
  public:
    // A record larger than this is refused.
    static constexpr std::size_t kMaxRecordBytes = 1024 * 1024;

    // `dir` may be empty. Records already in it are loaded.
    explicit PairRecords(std::filesystem::path dir);

    std::optional<std::vector<std::uint8_t>> read(const std::string& udid) const;
    // False for an unusable UDID, an oversized record, or a failed write to the folder.
    bool save(const std::string& udid, const std::vector<std::uint8_t>& record);
    bool remove(const std::string& udid);
    const std::string& systemBuid() const { return systemBuid_; }

    bool trusts(const std::string& udid, const std::string& hostId) const;
    void trust(const std::string& udid, const std::string& hostId);
    void forget(const std::string& udid, const std::string& hostId);

    // The certificates (PEM) a host with the device's record presents in TLS: the record's
    // "RootCertificate" and "HostCertificate"; none for no record, or one without them.
    std::vector<std::vector<std::uint8_t>> hostCertificates(const std::string& udid) const;

    // The "HostID" of a pair record, empty when it has none.
    static std::string hostIdOf(const std::vector<std::uint8_t>& record);

  private:
    const std::filesystem::path dir_;
    std::string systemBuid_;
    mutable std::mutex mutex_;
    std::map<std::string, std::vector<std::uint8_t>> records_;
    std::map<std::string, std::set<std::string>> trustedHosts_;
};

// A fresh identifier in the 8-4-4-4-12 form, upper case.
std::string randomUuid();

}  // namespace nimbara::usbmuxsim
