// Runs a fuzz target without libFuzzer: every seed file of the given corpus
// folders once, then a fixed number of deterministic mutations of them.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using Input = std::vector<uint8_t>;

constexpr unsigned kSeed = 20240611;
constexpr int kDefaultIterations = 20000;
constexpr std::size_t kMaxInput = 4096;

// Bytes that steer CBOR and framing decoders into their edge cases.
constexpr uint8_t kInteresting[] = {0x00, 0x0A, 0x06, 0x09, 0x04, 0x14, 0x17, 0x18, 0x1B, 0x1F, 0x3A,
                                    0x5B, 0x5F, 0x7B, 0x80, 0x9F, 0xA1, 0xBB, 0xBF, 0xC1, 0xF5, 0xFF, '='};

// Hands the target an exact-size heap copy, so sanitizers see overreads.
void runOne(const Input& input)
{
    const std::unique_ptr<uint8_t[]> exact(new uint8_t[std::max<std::size_t>(input.size(), 1)]);
    std::copy(input.begin(), input.end(), exact.get());
    LLVMFuzzerTestOneInput(exact.get(), input.size());
}

std::vector<Input> readCorpus(int argc, char** argv)
{
    std::vector<Input> corpus;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path))
                files.push_back(entry.path());
        } else {
            files.push_back(path);
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            std::ifstream stream(file, std::ios::binary);
            corpus.emplace_back(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
        }
    }
    return corpus;
}

Input mutate(const std::vector<Input>& corpus, std::mt19937& random)
{
    const auto pick = [&](std::size_t bound) { return bound == 0 ? std::size_t{0} : random() % bound; };
    Input input = corpus.empty() ? Input() : corpus[pick(corpus.size())];
    const int edits = 1 + static_cast<int>(pick(4));
    for (int edit = 0; edit < edits; ++edit) {
        const std::size_t at = pick(input.size() + 1);
        switch (pick(6)) {
        case 0:
            if (at < input.size())
                input[at] ^= static_cast<uint8_t>(1u << pick(8));
            break;
        case 1:
            if (at < input.size())
                input[at] = kInteresting[pick(std::size(kInteresting))];
            break;
        case 2:
            input.insert(input.begin() + static_cast<long>(at), static_cast<uint8_t>(random()));
            break;
        case 3:
            if (at < input.size())
                input.erase(input.begin() + static_cast<long>(at));
            break;
        case 4:
            input.resize(at);
            break;
        default:
            if (!corpus.empty()) {
                const Input& other = corpus[pick(corpus.size())];
                const std::size_t from = pick(other.size() + 1);
                input.insert(input.begin() + static_cast<long>(at), other.begin() + static_cast<long>(from), other.end());
            }
        }
    }
    if (input.size() > kMaxInput)
        input.resize(kMaxInput);
    return input;
}

} // namespace

int main(int argc, char** argv)
{
    const char* configured = std::getenv("FWU_FUZZ_ITERATIONS");
    const int iterations = configured != nullptr ? std::atoi(configured) : kDefaultIterations;
    const std::vector<Input> corpus = readCorpus(argc, argv);
    for (const Input& seed : corpus)
        runOne(seed);
    std::mt19937 random(kSeed);
    for (int i = 0; i < iterations; ++i)
        runOne(mutate(corpus, random));
    std::printf("replayed %zu seeds and %d mutations\n", corpus.size(), iterations);
    return 0;
}
