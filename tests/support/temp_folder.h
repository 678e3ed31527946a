// A folder of a test's own under the system's temporary folder.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

// A fresh folder under the system's temporary folder, removed with all its
// content when the object goes. With `enter` set, the process works inside
// it (setup.dat lives in the working directory) and returns afterwards.
class TempFolder {
public:
    explicit TempFolder(bool enter = false) : entered_(enter) {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumivo-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
        if (entered_) {
            previous_ = std::filesystem::current_path();
            std::filesystem::current_path(path_);
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        if (entered_) std::filesystem::current_path(previous_, ignored);
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(std::string_view name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
    bool entered_;
};
