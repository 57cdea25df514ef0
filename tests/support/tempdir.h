// A fresh temporary folder for one test, removed afterwards; it also points
// the settings file there so tests never touch the working directory's file.
#pragma once

#include "platform/settings.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace nimbrel::test {

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "nimbrel-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
        previousSettingsDir_ = Settings::Directory();
        Settings::SetDirectory(path_);
    }
    ~TempDir() {
        Settings::SetDirectory(previousSettingsDir_);
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

    std::string Write(const std::string& name, const std::string& bytes) const {
        std::ofstream out(File(name), std::ios::binary);
        out << bytes;
        return File(name);
    }
    std::string Read(const std::string& name) const { return ReadFile(File(name)); }

    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::string path_;
    std::string previousSettingsDir_;
};

} // namespace nimbrel::test
