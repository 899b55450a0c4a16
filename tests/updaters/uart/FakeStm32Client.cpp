#include "FakeStm32Client.h"

#include "ExceptionString.h"

#include <source_location>

bool FakeStm32Client::Flash(std::span<const std::byte> image, const ProgressCallback& progress,
                            std::uint32_t address) noexcept
{
    calls << QStringLiteral("Flash");
    flashedImage = QByteArray(reinterpret_cast<const char*>(image.data()), static_cast<qsizetype>(image.size()));
    flashAddress = address;
    for (const auto& [state, percent] : script.progress)
        progress(state, percent);
    return script.flashes;
}

bool FakeStm32Client::Flash(std::span<const std::byte> image, const ProgressCallback& progress) noexcept
{
    return Flash(image, progress, kDefaultFlashBase);
}

bool FakeStm32Client::GetTrailerFlag() const
{
    return true;
}

void FakeStm32Client::ExitDfu(std::uint32_t goAddress, std::uint32_t markerAddress)
{
    calls << QStringLiteral("ExitDfu");
    exitAddresses = {goAddress, markerAddress};
    if (script.exitThrows)
        throw lumavex::ExceptionString("receive timeout for 1 bytes, command Write", std::source_location::current());
}

std::vector<std::byte> FakeStm32Client::ReadMemory(std::uint32_t address, std::uint64_t size)
{
    calls << QStringLiteral("ReadMemory");
    readRequest = {address, size};
    return script.memory;
}

bool FakeStm32Client::ConnectDevice()
{
    calls << QStringLiteral("ConnectDevice");
    return script.connect();
}

void FakeStm32Client::DisconnectDevice()
{
    calls << QStringLiteral("DisconnectDevice");
}
