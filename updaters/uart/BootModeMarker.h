#pragma once

#include <QString>
#include <cstdint>

// The unit is started by writing "PUWF" at the boot-mode address after the
// image. Inside the image's range that word was never erased, so the marker
// would spoil the image (and the flash would not hold what was sent).
// Returns why an image of `imageSize` bytes at `programmingAddress` must be
// refused, or an empty text when image and marker lie apart.
QString bootModeMarkerConflict(std::uint32_t programmingAddress, std::uint64_t imageSize,
                               std::uint32_t markerAddress);
