#include "ExceptionString.h"

#include <algorithm>

namespace lumavex {

namespace {

std::string_view BaseName(std::string_view path)
{
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace

ExceptionString::ExceptionString(std::string_view message, const std::source_location& where)
{
    const std::size_t used = WriteLocation(where);
    const auto result = fmt::format_to_n(text_.data() + used, kCapacity - used, "{}", message);
    Terminate(used + result.size);
}

const char* ExceptionString::what() const noexcept { return text_.data(); }

std::string_view ExceptionString::Text() const noexcept { return {text_.data(), length_}; }

std::size_t ExceptionString::WriteLocation(const std::source_location& where) noexcept
{
    const auto result = fmt::format_to_n(text_.data(), kCapacity, "{}:{} ", BaseName(where.file_name()), where.line());
    return std::min(result.size, kCapacity);
}

void ExceptionString::Terminate(std::size_t length) noexcept
{
    length_ = std::min(length, kCapacity);
    text_[length_] = '\0';
}

} // namespace lumavex
