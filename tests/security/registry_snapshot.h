// What the security tests read back from the registry as a whole: every value of a key,
// and of a key with everything below it.
#pragma once

#include <map>
#include <set>
#include <string>

#include "kit/registry.h"

namespace security_test {

// The values directly under the key (name -> type and bytes) and the names of its subkeys.
struct KeySnapshot {
    bool exists = false;
    std::map<std::string, kit::RegValue> values;
    std::set<std::string> subkeys;
};

KeySnapshot SnapshotKey(const std::string& keyPath);

// One line per value directly under the key: name, type and data as the registry hands
// them back.  Empty for a key without values or a missing key.
std::string DumpValues(const std::string& keyPath);

// The key's path and its values, then the same for every key below it: what a search
// for a secret has to look through.
std::string DumpKeyTree(const std::string& keyPath);

}  // namespace security_test
