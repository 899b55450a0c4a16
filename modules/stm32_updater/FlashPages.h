#pragma once

#include "Stm32DeviceTable.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace stm32_updater {

// A run of flash pages, numbered from the start of the device's flash.
struct PageSpan {
    std::uint32_t first = 0;
    std::uint32_t count = 0;

    std::uint32_t Last() const { return first + count - 1; }
    bool operator==(const PageSpan&) const = default;
};

// The pages an image of `length` bytes written at `address` lies in. Throws
// lumavex::ExceptionString when the address is below the flash or not at the
// start of a page: erasing around such an image would wipe pages it does not
// cover, and leave some of those it does cover unerased.
PageSpan PagesForImage(const Stm32DeviceInfo& device, std::uint32_t address, std::size_t length);

// Throws lumavex::ExceptionString when `pages` reach past the device's first
// flash bank. On dual-bank parts the system bootloader may number the pages of
// bank 2 apart from those of bank 1 (from 256, some reports say); no ST
// document found says which numbers it expects for the products of the device
// table, and a wrong number would erase the wrong page, so none is sent.
void RefusePagesBeyondFirstBank(const Stm32DeviceInfo& device, PageSpan pages);

// `span` cut into consecutive runs of at most `limit` pages, in order.
std::vector<PageSpan> SplitPages(PageSpan span, std::uint32_t limit);

} // namespace stm32_updater
