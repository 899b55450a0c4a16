#pragma once

#include "CborValue.h"
#include "ImageFile.h"
#include "SimOptions.h"
#include "SmpPacket.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a unit in MCUboot serial recovery does with each SMP request: image
// state, image upload with offset bookkeeping, reset and OTP value reads,
// plus the offset-related faults.
class McubootUnit {
public:
    static constexpr std::uint32_t kModelIdKey = 0x01234711;
    static constexpr std::uint32_t kSerialNumberKey = 0x3CA6A4AF;

    McubootUnit(const SimOptions& options, ImageFile& imageFile);

    // The response payload; `body` is the request payload decoded, if it was CBOR.
    std::vector<std::uint8_t> answer(const SmpPacket& request, const std::optional<CborValue>& body);
    unsigned resetCount() const { return resets; }

private:
    std::vector<std::uint8_t> imageState() const;
    static std::vector<std::uint8_t> slotZeroListing(const std::vector<std::uint8_t>& hash);
    std::vector<std::uint8_t> upload(const CborValue& body);
    std::vector<std::uint8_t> reset();
    void checkReceivedImage() const;
    std::vector<std::uint8_t> otpRead(const CborValue& body) const;
    std::optional<std::vector<std::uint8_t>> offsetFault(std::uint32_t offset);
    std::vector<std::uint8_t> store(std::uint32_t offset, const std::vector<std::uint8_t>& data);
    void truncateTo(std::uint32_t size);

    const SimOptions& options;
    ImageFile& imageFile;
    std::vector<std::uint8_t> image;
    std::uint64_t announcedLength = 0;
    bool uploadStarted = false;
    unsigned resets = 0;
    unsigned repeatsDone = 0;
    bool rewindDone = false;
    unsigned chunksStored = 0;
};
