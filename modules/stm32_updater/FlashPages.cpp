#include "FlashPages.h"

#include "ExceptionString.h"

#include <algorithm>

namespace stm32_updater {

PageSpan PagesForImage(const Stm32DeviceInfo& device, std::uint32_t address, std::size_t length)
{
    if (address < device.flashStart)
        throw lumavex::ExceptionString("address 0x{:08x} below flash start 0x{:08x}", address, device.flashStart);
    const std::uint64_t offset = address - device.flashStart;
    if (offset % device.pageSize != 0)
        throw lumavex::ExceptionString("address 0x{:08x} not on a 0x{:x}-byte page boundary", address,
                                       device.pageSize);
    const std::uint64_t first = offset / device.pageSize;
    const std::uint64_t last = (offset + std::max<std::size_t>(length, 1) - 1) / device.pageSize;
    return PageSpan{static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(last - first + 1)};
}

void RefusePagesBeyondFirstBank(const Stm32DeviceInfo& device, PageSpan pages)
{
    if (pages.count > 0 && pages.Last() >= device.pagesPerBank)
        throw lumavex::ExceptionString("page {} lies in bank 2 of 0x{:04x}; its page numbers are unknown",
                                       std::max<std::uint64_t>(pages.first, device.pagesPerBank), device.productId);
}

std::vector<PageSpan> SplitPages(PageSpan span, std::uint32_t limit)
{
    std::vector<PageSpan> runs;
    for (std::uint32_t done = 0; done < span.count;) {
        const std::uint32_t count = std::min(limit, span.count - done);
        runs.push_back(PageSpan{span.first + done, count});
        done += count;
    }
    return runs;
}

} // namespace stm32_updater
