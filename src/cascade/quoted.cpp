#include "cascade/quoted.h"

namespace cascade {
namespace {

bool continues_a_character(char c) { return (static_cast<unsigned char>(c) & 0xc0) == 0x80; }

}  // namespace

std::string quoted(std::string_view text) {
  static constexpr char hex[] = "0123456789abcdef";
  bool cut = false;
  if (text.size() > max_shown_bytes) {
    std::size_t end = max_shown_bytes - 1;
    while (end > 0 && continues_a_character(text[end])) --end;  // never half a character
    text = text.substr(0, end);
    cut = true;
  }
  std::string result(1, '\'');
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\n') {
      result += "\\n";
    } else if (byte == '\t') {
      result += "\\t";
    } else if (byte == '\r') {
      result += "\\r";
    } else if (byte < 0x20 || byte == 0x7f) {
      result += {'\\', 'x', hex[byte >> 4], hex[byte & 0xf]};
    } else {
      result.push_back(c);
    }
  }
  if (cut) result += "\xe2\x80\xa6";  // …
  result.push_back('\'');
  return result;
}

}  // namespace cascade
