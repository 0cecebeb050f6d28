// Runs a fuzz harness once on every file of its corpus (or on the files and folders given as arguments), so
// that the normal and sanitizer builds check each input that ever made it fail.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    std::vector<fs::path> roots(argv + 1, argv + argc);
    if (roots.empty())
        roots.emplace_back(VELLORIN_FUZZ_CORPUS);
    std::vector<fs::path> inputs;
    for (const fs::path& root : roots) {
        std::error_code error;
        if (fs::is_regular_file(root, error))
            inputs.push_back(root);
        for (const auto& entry : fs::directory_iterator(root, error)) {
            if (entry.is_regular_file())
                inputs.push_back(entry.path());
        }
    }
    // A replay of nothing would pass whatever the code does.
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs found in %s\n", roots.front().c_str());
        return 1;
    }
    std::sort(inputs.begin(), inputs.end());
    for (const fs::path& input : inputs) {
        std::ifstream file(input, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        if (file.bad()) {
            std::fprintf(stderr, "cannot read %s\n", input.c_str());
            return 1;
        }
        // A copy of exactly the input's size, so that the address sanitizer sees any read past its end.
        const auto copy = std::make_unique<std::uint8_t[]>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), copy.get());
        std::fprintf(stderr, "%s\n", input.c_str());
        LLVMFuzzerTestOneInput(copy.get(), bytes.size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return 0;
}
