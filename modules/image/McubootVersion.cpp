#include "McubootVersion.h"

namespace image {

std::string McubootVersion::text() const
{
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(revision) + "+" +
           std::to_string(build);
}

} // namespace image
