#pragma once

#include "IOtpHandler.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace otp {

// Programs one entry (its bytes, its index in the block); 0 means success.
template <std::size_t EntrySize>
using EntryWriterFor = std::function<std::uint32_t(std::span<const std::byte, EntrySize>, std::uint8_t)>;

using EntryWriter = EntryWriterFor<16>;

// A block of EntryCount entries of EntrySize bytes. A record's first entry
// holds its little-endian key and the first value bytes; continuation entries
// hold value bytes only. Records are appended from the top of the block down,
// and lookups scan from entry 0 up, so the newest record of a key wins.
// The view is never modified: the writer programs the device.
template <std::size_t EntrySize, std::size_t EntryCount>
class OtpHandler final : public IOtpHandler {
    static_assert(EntrySize > 4, "an entry holds a 4-byte key and at least one value byte");
    static_assert(EntryCount > 0 && EntryCount <= 256, "entry indices are 8-bit");

public:
    static constexpr std::size_t kBlockSize = EntrySize * EntryCount;
    using BlockView = std::span<const std::byte, kBlockSize>;
    using Writer = EntryWriterFor<EntrySize>;

    OtpHandler(BlockView blockView, Writer entryWriter) : block(blockView), writer(std::move(entryWriter)) {}

    OtpStatus WriteString(std::uint32_t key, std::string_view text) override
    {
        return writeIfAbsent(key, text, &OtpHandler::textAt, &OtpHandler::appendText);
    }

    OtpResult<std::string> ReadString(std::uint32_t key) const override { return readValue(key, &OtpHandler::textAt); }

    OtpStatus ReplaceString(std::uint32_t key, std::string_view newText, std::string_view oldText) override
    {
        return replace(key, newText, oldText, &OtpHandler::textAt, &OtpHandler::appendText);
    }

    OtpStatus WriteByte(std::uint32_t key, std::uint8_t value) override
    {
        return writeIfAbsent(key, value, &OtpHandler::byteAt, &OtpHandler::appendByte);
    }

    OtpResult<std::uint8_t> ReadByte(std::uint32_t key) const override { return readValue(key, &OtpHandler::byteAt); }

    OtpStatus ReplaceByte(std::uint32_t key, std::uint8_t newValue, std::uint8_t oldValue) override
    {
        return replace(key, newValue, oldValue, &OtpHandler::byteAt, &OtpHandler::appendByte);
    }

    OtpStatus WriteStringList(std::uint32_t key, TextList items) override
    {
        const OtpResult<std::string> joined = join(items);
        if (!joined)
            return joined.error();
        return WriteString(key, joined.value());
    }

    OtpResult<std::vector<std::string>> ReadStringList(std::uint32_t key) const override
    {
        const OtpResult<std::string> text = ReadString(key);
        if (!text)
            return text.error();
        return split(text.value());
    }

    OtpStatus ReplaceStringList(std::uint32_t key, TextList newItems, TextList oldItems) override
    {
        const OtpResult<std::string> joinedNew = join(newItems);
        if (!joinedNew)
            return joinedNew.error();
        const OtpResult<std::string> joinedOld = join(oldItems);
        if (!joinedOld)
            return joinedOld.error();
        return ReplaceString(key, joinedNew.value(), joinedOld.value());
    }

    std::uint64_t FreeEntryCount() const override
    {
        std::uint64_t count = 0;
        for (std::size_t index = 0; index < EntryCount; ++index)
            count += isFree(index) ? 1 : 0;
        return count;
    }

private:
    static constexpr std::size_t kKeySize = 4;
    static constexpr std::size_t kValueOffset = kKeySize;
    static constexpr char kSeparator = '\n';
    using Entry = std::array<std::byte, EntrySize>;

    std::uint32_t keyAt(std::size_t index) const
    {
        const std::size_t offset = index * EntrySize;
        std::uint32_t key = 0;
        for (std::size_t i = 0; i < kKeySize; ++i)
            key |= std::to_integer<std::uint32_t>(block[offset + i]) << (8 * i);
        return key;
    }

    std::optional<std::size_t> findKey(std::uint32_t key) const
    {
        for (std::size_t index = 0; index < EntryCount; ++index) {
            if (keyAt(index) == key)
                return index;
        }
        return std::nullopt;
    }

    bool isFree(std::size_t index) const
    {
        const auto entry = block.subspan(index * EntrySize, EntrySize);
        return std::all_of(entry.begin(), entry.end(), [](std::byte b) { return b == std::byte{0xFF}; });
    }

    std::uint8_t byteAt(std::size_t index) const
    {
        return std::to_integer<std::uint8_t>(block[index * EntrySize + kValueOffset]);
    }

    // A text runs to its first 0x00, which may lie anywhere up to the end of the block.
    std::string textAt(std::size_t index) const
    {
        const auto rest = block.subspan(index * EntrySize + kValueOffset);
        const auto end = std::find(rest.begin(), rest.end(), std::byte{0});
        std::string text;
        std::transform(rest.begin(), end, std::back_inserter(text),
                       [](std::byte b) { return static_cast<char>(b); });
        return text;
    }

    template <typename T>
    OtpResult<T> readValue(std::uint32_t key, T (OtpHandler::*storedAt)(std::size_t) const) const
    {
        const std::optional<std::size_t> index = findKey(key);
        if (!index)
            return OtpError::KeyNotFound;
        return (this->*storedAt)(*index);
    }

    // An equal value already stored is success without writing.
    template <typename Value, typename StoredAt, typename Append>
    OtpStatus writeIfAbsent(std::uint32_t key, Value value, StoredAt storedAt, Append append)
    {
        const std::optional<std::size_t> index = findKey(key);
        if (!index)
            return (this->*append)(key, value);
        return (this->*storedAt)(*index) == value ? otpSuccess() : OtpStatus(OtpError::ValueDiffers);
    }

    // The old record stays; the appended one shadows it.
    template <typename Value, typename StoredAt, typename Append>
    OtpStatus replace(std::uint32_t key, Value newValue, Value oldValue, StoredAt storedAt, Append append)
    {
        const std::optional<std::size_t> index = findKey(key);
        if (!index)
            return OtpError::KeyNotFound;
        if ((this->*storedAt)(*index) != oldValue)
            return OtpError::OldValueMismatch;
        return (this->*append)(key, newValue);
    }

    static Entry firstEntry(std::uint32_t key)
    {
        Entry entry{};
        for (std::size_t i = 0; i < kKeySize; ++i)
            entry[i] = static_cast<std::byte>((key >> (8 * i)) & 0xFF);
        return entry;
    }

    static void copyText(std::string_view text, std::size_t from, std::span<std::byte> target)
    {
        for (std::size_t i = 0; i < target.size() && from + i < text.size(); ++i)
            target[i] = static_cast<std::byte>(text[from + i]);
    }

    static Entry textEntry(std::uint32_t key, std::string_view text, std::size_t k)
    {
        if (k == 0) {
            Entry entry = firstEntry(key);
            copyText(text, 0, std::span(entry).subspan(kValueOffset));
            return entry;
        }
        Entry entry{};
        copyText(text, (EntrySize - kValueOffset) + EntrySize * (k - 1), entry);
        return entry;
    }

    // New records go just below the used part. Programming an entry that is
    // not erased would corrupt the record already there, so a block whose free
    // entries are not all at the bottom is treated as full.
    std::optional<std::size_t> placeRecord(std::size_t entryCount) const
    {
        const std::uint64_t freeCount = FreeEntryCount();
        if (entryCount > freeCount)
            return std::nullopt;
        const std::size_t first = static_cast<std::size_t>(freeCount) - entryCount;
        for (std::size_t index = first; index < first + entryCount; ++index) {
            if (!isFree(index))
                return std::nullopt;
        }
        return first;
    }

    OtpStatus program(const Entry& entry, std::size_t index)
    {
        const std::uint32_t code = writer(std::span<const std::byte, EntrySize>(entry), static_cast<std::uint8_t>(index));
        return code == 0 ? otpSuccess() : OtpStatus(writerError(code));
    }

    // The key entry is programmed last, so an interrupted record is never found.
    OtpStatus appendText(std::uint32_t key, std::string_view text)
    {
        if (text.size() > kBlockSize)
            return OtpError::NoSpace;
        const std::size_t entryCount = (text.size() + EntrySize + kKeySize) / EntrySize;
        const std::optional<std::size_t> first = placeRecord(entryCount);
        if (!first)
            return OtpError::NoSpace;
        for (std::size_t k = entryCount; k-- > 0;) {
            const OtpStatus status = program(textEntry(key, text, k), *first + k);
            if (!status)
                return status;
        }
        return otpSuccess();
    }

    OtpStatus appendByte(std::uint32_t key, std::uint8_t value)
    {
        const std::optional<std::size_t> index = placeRecord(1);
        if (!index)
            return OtpError::NoSpace;
        Entry entry = firstEntry(key);
        entry[kValueOffset] = static_cast<std::byte>(value);
        return program(entry, *index);
    }

    static OtpResult<std::string> join(TextList items)
    {
        std::string joined;
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i].find(kSeparator) != std::string_view::npos)
                return OtpError::SeparatorInItem;
            if (i > 0)
                joined += kSeparator;
            joined += items[i];
        }
        return joined;
    }

    static std::vector<std::string> split(const std::string& text)
    {
        std::vector<std::string> items;
        if (text.empty())
            return items;
        std::size_t start = 0;
        for (std::size_t end = text.find(kSeparator); end != std::string::npos; end = text.find(kSeparator, start)) {
            items.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        items.push_back(text.substr(start));
        return items;
    }

    BlockView block;
    Writer writer;
};

} // namespace otp
