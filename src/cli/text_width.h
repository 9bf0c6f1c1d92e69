// Display width of UTF-8 text in a terminal: East Asian wide and full-width characters take two
// columns, combining marks none, everything else one.
#pragma once

#include <cstddef>
#include <string_view>

namespace orv::cli {

size_t DisplayWidth(std::string_view text);

}  // namespace orv::cli
