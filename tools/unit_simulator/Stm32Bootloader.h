#pragma once

#include "ByteStream.h"
#include "PtyLink.h"
#include "SimOptions.h"
#include "Stm32Memory.h"

#include <cstdint>
#include <optional>
#include <vector>

// The STM32 system bootloader on a USART (AN3155): Init, Get, Get Version,
// Get ID, Read Memory, Go, Write Memory, Erase and Extended Erase, with
// every checksum checked, plus the write faults.
class Stm32Bootloader {
public:
    Stm32Bootloader(const SimOptions& options, PtyLink& link, ByteStream& stream, Stm32Memory& memory);

    // Serves until the link ends.
    void run();

private:
    void dispatch(std::uint8_t command);
    void get();
    void getVersion();
    void getId();
    void readMemory();
    void go();
    void writeMemory();
    void erase();
    void extendedErase();

    void eraseAll(bool valid);
    template <typename Pages>
    void erasePages(const Pages& pages);

    std::vector<std::uint8_t> commandList() const;
    // Address frame: four bytes, most significant first, and their XOR.
    std::optional<std::uint32_t> address();
    // Command ACK, then an address frame answered with ACK when it lies in
    // memory and NACK otherwise.
    std::optional<std::uint32_t> mappedAddress(const char* commandName);
    // `count` bytes followed by a checksum over `seed` and those bytes;
    // nothing on timeout or a wrong checksum (then a NACK has gone out).
    std::optional<std::vector<std::uint8_t>> checkedBytes(std::size_t count, std::uint8_t seed);
    std::optional<std::uint8_t> byte();
    void send(std::vector<std::uint8_t> bytes);
    void ack();
    void nack();
    bool nackThisBlock();
    std::vector<std::uint8_t> storedForm(std::vector<std::uint8_t> data) const;
    void addStrayBytes(std::vector<std::uint8_t>& reply);
    void reportMarker(std::uint32_t address, const std::vector<std::uint8_t>& data);

    const SimOptions& options;
    const Stm32Settings& settings;
    PtyLink& link;
    ByteStream& stream;
    Stm32Memory& memory;
    bool initialised = false;
    unsigned blocksWritten = 0;
    unsigned nacksGiven = 0;
    unsigned readsAnswered = 0;
    unsigned readsAsked = 0;
};
