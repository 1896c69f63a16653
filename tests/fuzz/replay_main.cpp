// Runs a fuzz target once over every file of its seed corpus, so the test
// suite replays each corpus without the fuzzing engine: fast, and the same
// verdict on every run.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

void add_inputs(const std::string& path, std::vector<std::string>& out)
{
    struct stat st{};
    if (stat(path.c_str(), &st) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        out.push_back(path);
        return;
    }
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return;
    while (const dirent* e = readdir(dir)) {
        if (e->d_name[0] != '.')
            add_inputs(path + "/" + e->d_name, out);
    }
    closedir(dir);
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i)
        add_inputs(argv[i], files);
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "no corpus files found\n");
        return 1;
    }
    // Read everything first: a target may change the working directory.
    std::vector<std::vector<char>> inputs;
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        std::fprintf(stderr, "%s\n", files[i].c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(inputs[i].data()), inputs[i].size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return 0;
}
