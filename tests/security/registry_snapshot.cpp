#include "security/registry_snapshot.h"

#include <windows.h>

#include <vector>

namespace security_test {

namespace {

class OpenKey {
public:
    explicit OpenKey(const std::string& path) {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    ~OpenKey() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

}  // namespace

KeySnapshot SnapshotKey(const std::string& keyPath) {
    KeySnapshot snapshot;
    OpenKey key(keyPath);
    if (key.get() == nullptr) return snapshot;
    snapshot.exists = true;

    DWORD longestName = 0, longestData = 0;
    RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     &longestName, &longestData, nullptr, nullptr);
    std::vector<char> name(longestName + 2);
    std::vector<char> data(longestData + 2);
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LONG rc = RegEnumValueA(key.get(), i, name.data(), &nameLength, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data.data()), &dataLength);
        if (rc != ERROR_SUCCESS) break;
        kit::RegValue value;
        value.exists = true;
        value.type = type;
        value.data.assign(data.data(), dataLength);
        snapshot.values[std::string(name.data(), nameLength)] = value;
    }
    char subkey[512];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof subkey;
        if (RegEnumKeyExA(key.get(), i, subkey, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        snapshot.subkeys.insert(std::string(subkey, length));
    }
    return snapshot;
}

std::string DumpValues(const std::string& keyPath) {
    std::string dump;
    for (const auto& entry : SnapshotKey(keyPath).values) {
        dump += entry.first + " (" + std::to_string(entry.second.type) + ")=" + entry.second.data + "\n";
    }
    return dump;
}

std::string DumpKeyTree(const std::string& keyPath) {
    const KeySnapshot snapshot = SnapshotKey(keyPath);
    if (!snapshot.exists) return std::string();
    std::string dump = "[" + keyPath + "]\n" + DumpValues(keyPath);
    for (const std::string& subkey : snapshot.subkeys) dump += DumpKeyTree(keyPath + "\\" + subkey);
    return dump;
}

}  // namespace security_test
