#include "CheckModelIdInOtp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// An erased image of `size` bytes with a model-identifier record at `entry`,
// cut off by the end of the image where it does not fit.
std::vector<std::byte> imageWithModel(std::size_t size, std::size_t entry, std::uint8_t modelId)
{
    std::vector<std::byte> image(size, std::byte{0xFF});
    const std::uint8_t record[16] = {0x11, 0x47, 0x23, 0x01, modelId};
    for (std::size_t i = 0; i < 16 && entry * 16 + i < size; ++i)
        image[entry * 16 + i] = std::byte{record[i]};
    return image;
}

} // namespace

TEST(CheckModelIdInOtp, AcceptsOnlyAListedIdentifierFromAWholeEntry)
{
    struct Case {
        const char* name;
        std::vector<std::byte> image;
        QList<uint8_t> accepted;
        bool expected;
    };
    std::vector<std::byte> beyondBlock = imageWithModel(1024, 40, 5);
    const Case cases[] = {
        {"empty image", {}, {5}, false},
        {"listed identifier", imageWithModel(512, 31, 5), {3, 5}, true},
        {"unlisted identifier", imageWithModel(512, 31, 5), {3}, false},
        {"empty accepted list", imageWithModel(512, 31, 5), {}, false},
        {"no record", std::vector<std::byte>(512, std::byte{0xFF}), {0xFF}, false},
        {"longer image, record in the block", imageWithModel(1024, 31, 5), {5}, true},
        {"longer image, record only past the block", beyondBlock, {5}, false},
        {"short image holding the record whole", imageWithModel(496, 30, 5), {5}, true},
        {"short image of one entry", imageWithModel(16, 0, 5), {5}, true},
        {"short image ending inside the record", imageWithModel(500, 31, 5), {5}, false},
        {"short image ending right after the key", imageWithModel(4, 0, 5), {5}, false},
        {"short image ending after the value byte", imageWithModel(21, 1, 5), {5}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(checkModelIdInOtp(c.image, c.accepted), c.expected) << c.name;
}
