#include "McubootImage.h"

#include "LittleEndian.h"

#include <fmt/format.h>

namespace image {

namespace {

using Bytes = std::span<const std::uint8_t>;

// Where a TLV area lies in the file, its info included.
struct TlvArea {
    std::size_t offset = 0;
    std::size_t size = 0;

    std::size_t end() const { return offset + size; }
};

std::string readHeader(Bytes file, McubootImage& image)
{
    if (file.size() < 4 || readLe32(file, 0) != McubootImage::kHeaderMagic)
        return "no header magic at offset 0";
    if (file.size() < McubootImage::kMinimumHeaderSize)
        return fmt::format("the file ends after {} bytes, inside the {}-byte header", file.size(),
                           McubootImage::kMinimumHeaderSize);
    image.loadAddress = readLe32(file, 4);
    image.headerSize = readLe16(file, 8);
    image.protectedTlvSize = readLe16(file, 10);
    image.imageSize = readLe32(file, 12);
    image.flags = readLe32(file, 16);
    image.version = {file[20], file[21], readLe16(file, 22), readLe32(file, 24)};
    if (image.headerSize < McubootImage::kMinimumHeaderSize)
        return fmt::format("header size {} is below {}", image.headerSize, McubootImage::kMinimumHeaderSize);
    if (std::size_t{image.headerSize} + image.imageSize > file.size())
        return fmt::format("the header's image size {} after the {}-byte header runs past the end of the file "
                           "({} bytes)",
                           image.imageSize, image.headerSize, file.size());
    return {};
}

// The area whose info (magic, total size) starts at `offset`.
std::string readTlvArea(Bytes file, std::size_t offset, std::uint16_t magic, TlvArea& area)
{
    if (offset + McubootImage::kTlvInfoSize > file.size())
        return fmt::format("no TLV info magic 0x{:04x} at offset {}: the file ends there", magic, offset);
    const std::uint16_t found = readLe16(file, offset);
    if (found != magic)
        return fmt::format("no TLV info magic 0x{:04x} at offset {} (found 0x{:04x})", magic, offset, found);
    area = {offset, readLe16(file, offset + 2)};
    if (area.size < McubootImage::kTlvInfoSize)
        return fmt::format("TLV area at offset {} is {} bytes long, shorter than its own info", offset, area.size);
    if (area.end() > file.size())
        return fmt::format("TLV area of {} bytes at offset {} runs past the end of the file ({} bytes)", area.size,
                           offset, file.size());
    return {};
}

// Every entry must end inside its area, and the last one exactly at its end.
std::string checkEntries(Bytes file, const TlvArea& area)
{
    std::size_t offset = area.offset + McubootImage::kTlvInfoSize;
    while (offset < area.end()) {
        if (offset + McubootImage::kTlvHeaderSize > area.end())
            return fmt::format("TLV entry at offset {} is cut off by the end of its area", offset);
        const std::size_t end = offset + McubootImage::kTlvHeaderSize + readLe16(file, offset + 2);
        if (end > area.end())
            return fmt::format("TLV of type 0x{:02x} at offset {} runs past the end of its area",
                               readLe16(file, offset), offset);
        offset = end;
    }
    return {};
}

// The value of the first entry of `type`; call only after checkEntries.
std::optional<Bytes> findEntry(Bytes file, const TlvArea& area, std::uint16_t type)
{
    for (std::size_t offset = area.offset + McubootImage::kTlvInfoSize; offset < area.end();) {
        const std::uint16_t length = readLe16(file, offset + 2);
        if (readLe16(file, offset) == type)
            return file.subspan(offset + McubootImage::kTlvHeaderSize, length);
        offset += McubootImage::kTlvHeaderSize + length;
    }
    return std::nullopt;
}

// The protected area comes first when the header announces one, and its own
// size must say the same.
std::string readProtectedArea(Bytes file, const McubootImage& image)
{
    const std::size_t offset = std::size_t{image.headerSize} + image.imageSize;
    const bool marked =
        offset + McubootImage::kTlvInfoSize <= file.size() && readLe16(file, offset) == McubootImage::kProtectedTlvInfoMagic;
    if (image.protectedTlvSize == 0 && !marked)
        return {};
    TlvArea area;
    if (std::string problem = readTlvArea(file, offset, McubootImage::kProtectedTlvInfoMagic, area); !problem.empty())
        return problem;
    if (area.size != image.protectedTlvSize)
        return fmt::format("protected TLV area is {} bytes long, the header says {}", area.size,
                           image.protectedTlvSize);
    return checkEntries(file, area);
}

enum class HashCheck { Compare, LayoutOnly };

std::string readHash(Bytes file, const TlvArea& area, McubootImage& image, HashCheck check)
{
    const std::optional<Bytes> value = findEntry(file, area, McubootImage::kSha256TlvType);
    if (!value)
        return fmt::format("no SHA-256 TLV (type 0x{:02x})", McubootImage::kSha256TlvType);
    if (value->size() != image.tlvHash.size())
        return fmt::format("SHA-256 TLV holds {} bytes, not {}", value->size(), image.tlvHash.size());
    std::copy(value->begin(), value->end(), image.tlvHash.begin());
    if (check == HashCheck::LayoutOnly)
        return {};
    image.computedHash = sha256(file.first(image.hashedSize()));
    image.hashChecked = (image.flags & McubootImage::kEncryptedFlags) == 0;
    if (image.hashChecked && image.computedHash != image.tlvHash)
        return fmt::format("SHA-256 TLV {} does not match the SHA-256 of header, body and protected TLVs {}",
                           toHex(image.tlvHash), toHex(image.computedHash));
    return {};
}

std::string readImage(Bytes file, McubootImage& image, HashCheck check)
{
    if (std::string problem = readHeader(file, image); !problem.empty())
        return problem;
    if (std::string problem = readProtectedArea(file, image); !problem.empty())
        return problem;
    TlvArea area;
    if (std::string problem = readTlvArea(file, image.hashedSize(), McubootImage::kTlvInfoMagic, area);
        !problem.empty())
        return problem;
    if (std::string problem = checkEntries(file, area); !problem.empty())
        return problem;
    image.tlvSize = static_cast<std::uint32_t>(area.size);
    image.paddingSize = file.size() - area.end();
    return readHash(file, area, image, check);
}

} // namespace

std::optional<McubootImage> McubootImage::read(std::span<const std::uint8_t> file, std::string& reason)
{
    McubootImage image;
    reason = readImage(file, image, HashCheck::Compare);
    if (!reason.empty())
        return std::nullopt;
    return image;
}

std::optional<Sha256Digest> McubootImage::carriedHash(std::span<const std::uint8_t> file)
{
    McubootImage image;
    if (!readImage(file, image, HashCheck::LayoutOnly).empty())
        return std::nullopt;
    return image.tlvHash;
}

} // namespace image
