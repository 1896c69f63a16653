#include "tests/support/temp_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

temp_dir::temp_dir()
{
    std::string tmpl = std::filesystem::temp_directory_path().string() + "/vexon-test-XXXXXX";
    if (!mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

temp_dir::~temp_dir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string temp_dir::file(const std::string& name) const
{
    return path_ + "/" + name;
}

scoped_chdir::scoped_chdir(const std::string& dir)
{
    old_ = std::filesystem::current_path().string();
    std::filesystem::current_path(dir);
}

scoped_chdir::~scoped_chdir()
{
    std::error_code ec;
    std::filesystem::current_path(old_, ec);
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace testsupport
