// File commands: convert and new.
#include "tools/Batch.h"

#include "engine/Graphic.h"

namespace kadrimex::batch {
namespace {

const BatchRegistration convertCommand({"convert", "", 0, 0, true, [](BatchRun& run) {
    // The working copy keeps the file's own pixel format and palette.
    run.Result = run.TakeInput();
}});

const BatchRegistration newCommand({"new", "WIDTH HEIGHT RRGGBB", 3, 3, false, [](BatchRun& run) {
    const auto& a = run.Args();
    const int width = ParseInt(a[0], "WIDTH");
    const int height = ParseInt(a[1], "HEIGHT");
    if (width < 1 || width > 32760 || height < 1 || height > 32760)
        throw UsageError("Width and height must be whole numbers from 1 to 32760");
    const std::string& hex = a[2];
    unsigned long rgb = 0;
    if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        throw UsageError("'" + hex + "' is not a colour RRGGBB");
    rgb = std::stoul(hex, nullptr, 16);
    TBitmap bitmap;
    bitmap.Reset(width, height, TPixelFormat::pf24bit);
    FillSolid(bitmap, std::uint8_t(rgb >> 16), std::uint8_t(rgb >> 8), std::uint8_t(rgb));
    run.Result = std::move(bitmap);
}});

}  // namespace
}  // namespace kadrimex::batch
