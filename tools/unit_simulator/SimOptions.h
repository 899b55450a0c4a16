#pragma once

#include <cstdint>
#include <optional>
#include <string>

enum class SimMode { Mcuboot, Stm32 };
enum class AfterReset { Serve, Exit };
enum class EraseCommand { Erase, Extended, None };

// Faults of the MCUboot unit. Request numbers count valid requests from 1.
struct McubootFaults {
    std::optional<unsigned> silentFromRequest;
    std::optional<unsigned> badCrcFromRequest;
    struct OffsetRc {
        std::uint32_t offset;
        int rc;
    };
    std::optional<OffsetRc> rcAtOffset;
    struct Repeat {
        std::uint32_t offset;
        unsigned times; // 0: for ever
    };
    std::optional<Repeat> repeatOffset;
    struct Rewind {
        std::uint32_t at;
        std::uint32_t to;
    };
    std::optional<Rewind> lowerOffset;
    std::size_t splitLineChars = 0;
    bool noiseLines = false;
    std::optional<unsigned> floodFromRequest;
    // The Kth stored upload chunk (1-based) gets its first byte changed.
    std::optional<unsigned> corruptChunk;
    // Slot 0 is listed with the hash of some other image, whatever arrives.
    bool listOtherHash = false;
};

// The STM32 system bootloader and its faults.
struct Stm32Settings {
    std::uint16_t productId = 0x0469;
    std::uint8_t bootloaderVersion = 0x31;
    EraseCommand erase = EraseCommand::Extended;
    std::uint8_t ack = 0x79;
    std::uint8_t nack = 0x1F;
    std::uint32_t flashBase = 0x08000000;
    std::uint32_t flashSize = 0x80000;
    std::uint32_t pageSize = 0x800;
    std::optional<std::uint32_t> otpAddress = 0x1FFF7000; // empty: no OTP block
    std::uint32_t markerAddress = 0x0807F800;
    struct NackAtBlock {
        unsigned block; // 1-based count of Write Memory commands
        unsigned times;
    };
    std::optional<NackAtBlock> nackAtBlock;
    std::optional<unsigned> unplugAfterBlocks;
    // Flash that holds an earlier program: its pages must be erased before
    // they can be written again.
    struct OldData {
        std::uint32_t address;
        std::uint32_t length;
    };
    std::optional<OldData> oldData;
    // Stray ACK bytes sent right after the reply to a Read Memory command.
    struct StrayBurst {
        unsigned read; // 1-based count of Read Memory commands
        unsigned bytes;
    };
    std::optional<StrayBurst> strayAfterRead;
    // The Kth Write Memory block (1-based) is acknowledged but stored with its
    // first byte changed, as a marginal flash cell would.
    std::optional<unsigned> corruptBlock;
    // Read Memory commands from the Kth (1-based) on are refused, as after
    // read protection was set.
    std::optional<unsigned> nackReadsFrom;
};

struct SimOptions {
    SimMode mode = SimMode::Mcuboot;
    std::string linkPath;
    std::string imagePath;
    unsigned baud = 0; // 0: no pacing
    std::optional<unsigned> bitsPerByte; // default: 10 in MCUboot mode, 11 in STM32 mode
    unsigned writeMs = 0; // flash write time per chunk or block
    AfterReset afterReset = AfterReset::Serve;
    std::optional<std::uint64_t> unplugAfterBytes;
    std::optional<std::uint64_t> silentFromByte;
    std::optional<std::uint8_t> modelId;
    std::optional<std::string> serialNumber;
    McubootFaults mcuboot;
    Stm32Settings stm32;
};
