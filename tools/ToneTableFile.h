// The text of a tone table file for the curve command.
#pragma once

#include "engine/ProcessorThread.h"

#include <string>
#include <string_view>

namespace kadrimex::batch {

// 256 whole numbers 0 to 255 separated by white space, nothing else; any
// other text throws EImageError naming `path` and the first fault.
TToneTable ParseToneTable(std::string_view text, const std::string& path);

}  // namespace kadrimex::batch
