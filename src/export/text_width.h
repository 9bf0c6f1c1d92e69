// Display width of UTF-8 text in a terminal: East Asian wide and full-width characters take two
// columns, combining marks none, everything else one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orv::exports {

size_t DisplayWidth(std::string_view text);

// The text cut to at most `width` display columns, ending in "…" when it was cut (never in the
// middle of a character).
std::string TruncateToWidth(std::string_view text, size_t width);

}  // namespace orv::exports
