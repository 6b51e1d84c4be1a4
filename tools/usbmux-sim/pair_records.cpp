#include "pair_records.h"
#include "platform/mobiledevice/imd/imd_events.h"

#include <QDebug>
#include <QFile>

#include <cstdio>
#include <fstream>
#include <random>
#include <system_error>

#include "platform/plist_value.h"

namespace fs = std::filesystem;

namespace nimbara::usbmuxsim {

namespace {

constexpr const char* kRecordSuffix = ".plist";

}  // namespace

std::string randomUuid() {
    std::random_device device;
    std::mt19937_64 generator(device());
    const std::uint64_t a = generator();
    const std::uint64_t b = generator();
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(a >> 32),
                  static_cast<unsigned>((a >> 16) & 0xFFFF), static_cast<unsigned>(a & 0xFFFF),
                  static_cast<unsigned>(b >> 48),
                  static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFULL));
    return text;
}

std::string PairRecords::hostIdOf(const std::vector<std::uint8_t>& record) {
    auto parsed = PlistValue::parse(record.data(), record.size());
    return parsed ? (*parsed)["HostID"].toString() : std::string();
}

std::vector<std::vector<std::uint8_t>> PairRecords::hostCertificates(
    const std::string& udid) const {
    std::vector<std::vector<std::uint8_t>> certificates;
    const auto record = read(udid);
    const auto parsed = record ? PlistValue::parse(record->data(), record->size()) : std::nullopt;
    for (const char* key : {"RootCertificate", "HostCertificate"}) {
        if (parsed && (*parsed)[key].isData()) {
            certificates.push_back((*parsed)[key].toData());
        }
    }
    return certificates;
}

PairRecords::PairRecords(fs::path dir) : dir_(std::move(dir)), systemBuid_(randomUuid()) {
    if (dir_.empty()) {
        return;
    }
    // As the daemon keeps its own folder: made when missing, so that a first pairing is kept.
    std::error_code ec;
    if (fs::create_directories(dir_, ec)) {
        fs::permissions(dir_, fs::perms::owner_all, ec);
    }
    ec.clear();
    for (fs::directory_iterator it(dir_, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.ends_with(kRecordSuffix)) {
            continue;
        }
        const std::string udid = name.substr(0, name.size() - std::string(kRecordSuffix).size());
        std::error_code statError;
        if (!nimbara::md::imd::isPlausibleUdid(udid) ||
            !fs::is_regular_file(it->symlink_status(statError)) ||
            fs::file_size(it->path(), statError) > kMaxRecordBytes) {
            continue;
        }
        std::ifstream in(it->path(), std::ios::binary);
        std::vector<std::uint8_t> record((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
        const std::string host = hostIdOf(record);
        if (host.empty()) {
            qWarning().noquote() << "Pair record" << QFile::decodeName(it->path().c_str())
                                 << "has no HostID; it is not used.";
            continue;
        }
        records_[udid] = std::move(record);
        trustedHosts_[udid].insert(host);
    }
}

std::optional<std::vector<std::uint8_t>> PairRecords::read(const std::string& udid) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = records_.find(udid);
    if (it == records_.end()) {
        return std::nullopt;
    }
    return it->second;
}

bool PairRecords::save(const std::string& udid, const std::vector<std::uint8_t>& record) {
    if (!nimbara::md::imd::isPlausibleUdid(udid) || record.empty() ||
        record.size() > kMaxRecordBytes) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!dir_.empty()) {
        const fs::path target = dir_ / (udid + kRecordSuffix);
        const fs::path partial = dir_ / ("." + udid + ".partial");
        {
            std::ofstream out(partial, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(record.data()),
                      static_cast<std::streamsize>(record.size()));
            if (!out.flush()) {
                return false;
            }
        }
        std::error_code ec;
        fs::rename(partial, target, ec);
        if (ec) {
            fs::remove(partial, ec);
            return false;
        }
    }
    records_[udid] = record;
    return true;
}

bool PairRecords::remove(const std::string& udid) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (records_.erase(udid) == 0) {
        return false;
    }
    if (!dir_.empty()) {
        std::error_code ec;
        fs::remove(dir_ / (udid + kRecordSuffix), ec);
    }
    return true;
}

bool PairRecords::trusts(const std::string& udid, const std::string& hostId) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = trustedHosts_.find(udid);
    return !hostId.empty() && it != trustedHosts_.end() && it->second.count(hostId) > 0;
}

void PairRecords::trust(const std::string& udid, const std::string& hostId) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!hostId.empty()) {
        trustedHosts_[udid].insert(hostId);
    }
}

void PairRecords::forget(const std::string& udid, const std::string& hostId) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = trustedHosts_.find(udid);
    if (it != trustedHosts_.end()) {
        it->second.erase(hostId);
    }
}

}  // namespace nimbara::usbmuxsim
