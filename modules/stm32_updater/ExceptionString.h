#pragma once

#include <fmt/format.h>

#include <array>
#include <cstddef>
#include <exception>
#include <source_location>
#include <string_view>
#include <type_traits>
#include <utility>

namespace lumavex {

// A format string checked at compile time, together with the place it was
// written, so that a throw site names its own file and line.
template <typename... Args>
struct FormatAt {
    template <typename Text>
    consteval FormatAt(const Text& text, std::source_location where = std::source_location::current())
        : format(text), where(where)
    {
    }

    fmt::format_string<Args...> format;
    std::source_location where;
};

// The bootloader client's exception: "file:line message" in a fixed buffer
// inside the object, so raising one never allocates. Longer texts are cut.
class ExceptionString : public std::exception {
public:
    static constexpr std::size_t kCapacity = 256;

    ExceptionString(std::string_view message, const std::source_location& where);

    // A plain message with an explicit location takes the constructor above.
    template <typename... Args>
        requires(!(std::is_same_v<std::remove_cvref_t<Args>, std::source_location> || ...))
    explicit ExceptionString(FormatAt<std::type_identity_t<Args>...> format, Args&&... args)
    {
        const std::size_t used = WriteLocation(format.where);
        const auto result =
            fmt::format_to_n(text_.data() + used, kCapacity - used, format.format, std::forward<Args>(args)...);
        Terminate(used + result.size);
    }

    const char* what() const noexcept override;
    std::string_view Text() const noexcept;

private:
    std::size_t WriteLocation(const std::source_location& where) noexcept;
    void Terminate(std::size_t length) noexcept;

    std::array<char, kCapacity + 1> text_{};
    std::size_t length_ = 0;
};

} // namespace lumavex
