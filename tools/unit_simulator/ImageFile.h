#pragma once

#include <cstdint>
#include <span>
#include <string>

// A file kept equal to the unit's memory after every change, so a test can
// compare it at any moment, even after the simulator was killed.
class ImageFile {
public:
    // An empty path keeps nothing on disk.
    explicit ImageFile(std::string path);
    ~ImageFile();
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    // Replaces the whole content.
    bool replace(std::span<const std::uint8_t> content);
    bool writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    bool resize(std::uint64_t size);

private:
    int fd = -1;
    std::string path;
};
