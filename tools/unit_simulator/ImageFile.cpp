#include "ImageFile.h"

#include "EventLog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

ImageFile::ImageFile(std::string filePath) : path(std::move(filePath))
{
    if (path.empty())
        return;
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        EventLog::note("cannot open image file {}: {}", path, std::strerror(errno));
}

ImageFile::~ImageFile()
{
    if (fd >= 0)
        ::close(fd);
}

bool ImageFile::replace(std::span<const std::uint8_t> content)
{
    return resize(0) && writeAt(0, content);
}

bool ImageFile::writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes)
{
    if (path.empty())
        return true;
    while (!bytes.empty()) {
        const ssize_t written = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (written <= 0)
            return false;
        bytes = bytes.subspan(static_cast<std::size_t>(written));
        offset += static_cast<std::uint64_t>(written);
    }
    return true;
}

bool ImageFile::resize(std::uint64_t size)
{
    return path.empty() || ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}
