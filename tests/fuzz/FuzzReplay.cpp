// Replays inputs through a fuzz target without libFuzzer, for builds with any compiler: every
// file named, and every regular file in a folder named (in name order), goes through
// LLVMFuzzerTestOneInput once. A target that meets a broken invariant aborts, so the run fails.
// No input at all is a failure too: a corpus that went missing must not pass for a clean one.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

// The files named and the regular files directly inside the folders named.
std::vector<fs::path> inputsNamed(int argc, char** argv) {
    std::vector<fs::path> inputs;
    for (int index = 1; index < argc; ++index) {
        const fs::path named = argv[index];
        if (!fs::is_directory(named)) {
            inputs.push_back(named);
            continue;
        }
        std::vector<fs::path> inFolder;
        for (const fs::directory_entry& entry : fs::directory_iterator(named)) {
            if (entry.is_regular_file()) {
                inFolder.push_back(entry.path());
            }
        }
        std::sort(inFolder.begin(), inFolder.end());
        inputs.insert(inputs.end(), inFolder.begin(), inFolder.end());
    }
    return inputs;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<fs::path> inputs = inputsNamed(argc, argv);
    if (inputs.empty()) {
        std::cerr << "usage: " << argv[0] << " FILE_OR_FOLDER...: no input found\n";
        return 1;
    }
    for (const fs::path& input : inputs) {
        std::ifstream file(input, std::ios::binary);
        if (!file) {
            std::cerr << input.string() << ": cannot open the input\n";
            return 1;
        }
        const std::vector<char> bytes{std::istreambuf_iterator<char>(file),
                                      std::istreambuf_iterator<char>()};
        // libFuzzer never passes a null pointer, even for an empty input.
        const std::uint8_t none = 0;
        const auto* data =
            bytes.empty() ? &none : reinterpret_cast<const std::uint8_t*>(bytes.data());
        // Named first, so that a target that aborts has said on which input.
        std::cout << input.string() << std::endl;
        LLVMFuzzerTestOneInput(data, bytes.size());
    }
    std::cout << "replayed " << inputs.size() << " inputs\n";
    return 0;
}
