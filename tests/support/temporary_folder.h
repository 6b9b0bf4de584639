// A fresh folder under $TMPDIR (or /tmp) for one test, removed with all it
// holds when the owner goes, plus small helpers to look at files in it.
#pragma once

#include <string>
#include <vector>

class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    // `name` inside the folder.
    std::string operator/(const std::string& name) const { return path + "/" + name; }

    std::string path;
};

// The whole file, or "<missing>" when it cannot be opened.
std::string fileBytes(const std::string& path);
void writeBytes(const std::string& path, const std::string& bytes);
// The names in a folder, sorted.
std::vector<std::string> folderNames(const std::string& folder);
