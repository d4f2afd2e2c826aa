// A picture's size read from its file's header, without decoding it: enough
// to plan how many pictures fit in memory at once.
#pragma once

#include <cstdint>
#include <string>

namespace kadrimex::batch {

// Width times height of a BMP, JPEG or PNG file; 0 when the file is of
// another kind, unreadable, or its header is not where it should be.
std::int64_t PicturePixels(const std::string& path);

}  // namespace kadrimex::batch
