// A fresh directory per test, removed with everything in it at the end.
#pragma once

#include <string>

namespace testsupport {

class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string& name) const;

private:
    std::string path_;
};

// Makes a temporary directory the working directory for its lifetime; the
// game keeps its files in "data/" under the working directory.
class scoped_chdir {
public:
    explicit scoped_chdir(const std::string& dir);
    ~scoped_chdir();
    scoped_chdir(const scoped_chdir&) = delete;
    scoped_chdir& operator=(const scoped_chdir&) = delete;

private:
    std::string old_;
};

// Whole contents of a file ("" when it cannot be read).
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);

}  // namespace testsupport
