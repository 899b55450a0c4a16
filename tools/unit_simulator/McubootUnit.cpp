#include "McubootUnit.h"

#include "CborWriter.h"
#include "EventLog.h"
#include "McubootImage.h"

#include <chrono>
#include <thread>

namespace {

// SMP management error codes.
constexpr int kRcInvalid = 3;
constexpr int kRcNotFound = 5;
constexpr int kRcNotSupported = 8;

constexpr std::uint8_t kRead = 0;
constexpr std::uint8_t kWrite = 2;

std::vector<std::uint8_t> rcOnly(int rc)
{
    return CborWriter().mapBegin(1).text("rc").signedInt(rc).data();
}

std::vector<std::uint8_t> rcAndOffset(int rc, std::uint64_t offset)
{
    return CborWriter().mapBegin(2).text("rc").signedInt(rc).text("off").unsignedInt(offset).data();
}

} // namespace

McubootUnit::McubootUnit(const SimOptions& options, ImageFile& imageFile) : options(options), imageFile(imageFile)
{
}

std::vector<std::uint8_t> McubootUnit::answer(const SmpPacket& request, const std::optional<CborValue>& body)
{
    const bool isMap = body && body->kind == CborValue::Kind::Map;
    const auto route = std::tuple(request.group, request.command, request.operation);
    if (route == std::tuple(1, 0, kRead))
        return imageState();
    if (route == std::tuple(0, 5, kWrite))
        return reset();
    if (route == std::tuple(1, 1, kWrite))
        return isMap ? upload(*body) : rcOnly(kRcInvalid);
    if (route == std::tuple(64, 0, kRead))
        return isMap ? otpRead(*body) : rcOnly(kRcInvalid);
    return rcOnly(kRcNotSupported);
}

// As MCUboot: an image is listed in slot 0 only when it is complete and
// passes its validation; the hash is the one from its TLV area.
std::vector<std::uint8_t> McubootUnit::imageState() const
{
    if (options.mcuboot.listOtherHash)
        return slotZeroListing(std::vector<std::uint8_t>(32, 0xA5));
    const bool complete = uploadStarted && image.size() == announcedLength;
    std::string reason;
    const auto validated = complete ? image::McubootImage::read(image, reason) : std::nullopt;
    if (!validated || !validated->hashChecked) {
        CborWriter writer;
        writer.mapBegin(1).text("images").listBegin(0);
        return writer.data();
    }
    return slotZeroListing(std::vector<std::uint8_t>(validated->tlvHash.begin(), validated->tlvHash.end()));
}

std::vector<std::uint8_t> McubootUnit::slotZeroListing(const std::vector<std::uint8_t>& hash)
{
    CborWriter writer;
    writer.mapBegin(1).text("images").listBegin(1).mapBegin(6);
    writer.text("image").unsignedInt(0).text("slot").unsignedInt(0).text("version").text("0.0.0");
    writer.text("hash").bytes(hash).text("bootable").boolean(true).text("confirmed").boolean(true);
    return writer.data();
}

std::vector<std::uint8_t> McubootUnit::reset()
{
    ++resets;
    EventLog::event("reset {}", resets);
    if (uploadStarted)
        checkReceivedImage();
    return rcOnly(0);
}

void McubootUnit::checkReceivedImage() const
{
    // What MCUboot looks at before it boots the image in its slot.
    std::string reason;
    if (const auto image = image::McubootImage::read(this->image, reason))
        EventLog::event("image-check ok {} {}", image->tlvEnd(), image::toHex(image->tlvHash));
    else
        EventLog::event("image-check bad {}", reason);
}

std::vector<std::uint8_t> McubootUnit::otpRead(const CborValue& body) const
{
    const CborValue* key = body.find("key");
    if (!key || !key->asUnsigned())
        return rcOnly(kRcInvalid);
    std::vector<std::uint8_t> value;
    if (*key->asUnsigned() == kModelIdKey && options.modelId)
        value = {*options.modelId};
    else if (*key->asUnsigned() == kSerialNumberKey && options.serialNumber)
        value.assign(options.serialNumber->begin(), options.serialNumber->end());
    else
        return rcOnly(kRcNotFound);
    return CborWriter().mapBegin(2).text("rc").unsignedInt(0).text("data").bytes(value).data();
}

std::vector<std::uint8_t> McubootUnit::upload(const CborValue& body)
{
    const CborValue* data = body.find("data");
    const CborValue* off = body.find("off");
    if (!data || data->kind != CborValue::Kind::Bytes || !off || !off->asUnsigned())
        return rcOnly(kRcInvalid);
    const std::uint64_t offset = *off->asUnsigned();
    if (offset == 0) {
        const CborValue* len = body.find("len");
        if (!len || !len->asUnsigned())
            return rcOnly(kRcInvalid);
        announcedLength = *len->asUnsigned();
        uploadStarted = true;
        truncateTo(0);
    }
    if (!uploadStarted)
        return rcOnly(kRcInvalid);
    if (auto fault = offsetFault(static_cast<std::uint32_t>(offset)))
        return *fault;
    if (offset != image.size()) // not the offset the unit expects: tell the sender where to go on
        return rcAndOffset(0, image.size());
    if (offset + data->bytes.size() > announcedLength)
        return rcOnly(kRcInvalid);
    return store(static_cast<std::uint32_t>(offset), data->bytes);
}

std::optional<std::vector<std::uint8_t>> McubootUnit::offsetFault(std::uint32_t offset)
{
    const McubootFaults& faults = options.mcuboot;
    if (faults.rcAtOffset && faults.rcAtOffset->offset == offset)
        return rcOnly(faults.rcAtOffset->rc);
    if (faults.repeatOffset && faults.repeatOffset->offset == offset && offset == image.size() &&
        (faults.repeatOffset->times == 0 || repeatsDone < faults.repeatOffset->times)) {
        ++repeatsDone;
        return rcAndOffset(0, offset);
    }
    if (faults.lowerOffset && faults.lowerOffset->at == offset && offset == image.size() && !rewindDone) {
        rewindDone = true;
        truncateTo(faults.lowerOffset->to);
        return rcAndOffset(0, image.size());
    }
    return std::nullopt;
}

std::vector<std::uint8_t> McubootUnit::store(std::uint32_t offset, const std::vector<std::uint8_t>& data)
{
    if (options.writeMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(options.writeMs));
    ++chunksStored;
    std::vector<std::uint8_t> stored = data;
    if (options.mcuboot.corruptChunk == chunksStored && !stored.empty()) {
        EventLog::note("  fault: chunk {} stored with its first byte changed", chunksStored);
        stored[0] ^= 0x5A;
    }
    image.insert(image.end(), stored.begin(), stored.end());
    imageFile.writeAt(offset, stored);
    if (image.size() == announcedLength)
        EventLog::event("image-complete {}", image.size());
    return rcAndOffset(0, image.size());
}

void McubootUnit::truncateTo(std::uint32_t size)
{
    if (size < image.size())
        image.resize(size);
    imageFile.resize(image.size());
}
