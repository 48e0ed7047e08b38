// quoted.h: text a run refuses, shown safely in a one-line message.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cascade {

/// Longest text, in bytes, that a message shows whole; longer text is cut
/// there (at a character boundary) and ends in "…".
inline constexpr std::size_t max_shown_bytes = 80;

/// 'text', with control characters written as \n, \t, \r or \xHH so that a
/// message stays one line and sends nothing raw to a terminal. UTF-8 passes
/// as it is.
std::string quoted(std::string_view text);

}  // namespace cascade
