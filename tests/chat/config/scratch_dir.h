// A temporary directory per test, made the working directory while it lives.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

class scratch_dir {
public:
    scratch_dir() : old_(std::filesystem::current_path())
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "chatapp-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
            std::filesystem::current_path(path_);
        }
    }
    ~scratch_dir()
    {
        std::error_code ec;
        std::filesystem::current_path(old_, ec);
        std::filesystem::remove_all(path_, ec);
    }
    scratch_dir(const scratch_dir &) = delete;
    scratch_dir &operator=(const scratch_dir &) = delete;

    const std::filesystem::path &path() const { return path_; }

    // Writes text to name inside the directory and returns the full path.
    std::string write(const std::string &name, const std::string &text) const
    {
        const auto p = path_ / name;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
        return p.string();
    }

    std::string read(const std::string &name) const
    {
        std::ifstream in(path_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::filesystem::path old_;
    std::filesystem::path path_;
};
