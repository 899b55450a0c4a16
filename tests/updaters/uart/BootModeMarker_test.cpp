#include "BootModeMarker.h"

#include <gtest/gtest.h>

namespace {

struct MarkerCase {
    const char* name;
    std::uint32_t programmingAddress;
    std::uint64_t imageSize;
    std::uint32_t markerAddress;
    bool refused;
};

class BootModeMarker : public ::testing::TestWithParam<MarkerCase> {};

// Any of the marker's four bytes inside the image's range is a conflict.
TEST_P(BootModeMarker, ImageMayNotCoverAnyByteOfTheMarker)
{
    const MarkerCase& c = GetParam();
    const QString reason = bootModeMarkerConflict(c.programmingAddress, c.imageSize, c.markerAddress);
    EXPECT_EQ(!reason.isEmpty(), c.refused) << reason.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BootModeMarker,
    ::testing::Values(MarkerCase{"MarkerAfterTheImage", 0x08000000, 0x7F800, 0x0807F800, false},
                      MarkerCase{"MarkerOnTheImagesLastWord", 0x08000000, 0x7F804, 0x0807F800, true},
                      MarkerCase{"MarkerInsideTheImage", 0x08000000, 0x80000, 0x0807F800, true},
                      MarkerCase{"MarkerOnTheImagesFirstWord", 0x08004000, 0x100, 0x08004000, true},
                      MarkerCase{"MarkerLastByteOnTheImagesFirstByte", 0x08004000, 0x100, 0x08003FFD, true},
                      MarkerCase{"MarkerJustBeforeTheImage", 0x08004000, 0x100, 0x08003FFC, false},
                      MarkerCase{"MarkerInRam", 0x08000000, 0x80000, 0x2001FFF0, false},
                      MarkerCase{"ImageUpToTheTopOfTheAddressSpace", 0xFFFFFF00, 0x100, 0xFFFFFFFC, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BootModeMarkerReason, NamesTheRangeAndTheMarker)
{
    EXPECT_EQ(bootModeMarkerConflict(0x08000000, 0x80000, 0x0807F800),
              "the image (0x08000000 to 0x0807ffff) covers the boot-mode marker at 0x0807f800 (boot_mode_address); "
              "nothing was written");
}

} // namespace
