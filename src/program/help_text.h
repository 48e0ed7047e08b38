// help_text.h: --help's text, its format options from the table of formats.
#pragma once

#include <string>

namespace cascade {

std::string help_text();

}  // namespace cascade
