// Scratch files and folders for the tests.
#pragma once

#include <string>
#include <vector>

namespace kit {

// A fresh, empty folder under the temporary directory, deleted with its content at the
// end of the scope.  The path has no trailing backslash.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "pbvmsvc");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

std::string ReadWholeFile(const std::string& path);  // empty when missing
bool WriteWholeFile(const std::string& path, const std::string& data);
bool FileExists(const std::string& path);
void DeleteTree(const std::string& path);
// The names of the files in the folder that match the pattern (wildcards as FindFirstFile
// takes them), sorted.
std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern);

}  // namespace kit
