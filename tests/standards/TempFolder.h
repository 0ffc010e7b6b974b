#pragma once
// A fresh folder under the system's temporary directory, removed with its
// contents when the test ends.

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

namespace tessik::test {

class TempFolder {
public:
    TempFolder()
    {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() / ("tessik-standards-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

    std::filesystem::path write(std::string_view name, std::string_view bytes) const
    {
        const auto file = path_ / std::string(name);
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file;
    }

private:
    std::filesystem::path path_;
};

}  // namespace tessik::test
