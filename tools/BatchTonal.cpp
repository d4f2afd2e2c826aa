// Tonal commands: equalize, range (the levels dialog's two functions) and
// curve (a tone table read from a file, as the curves dialog would build it).
#include "tools/Batch.h"

#include "engine/Codecs.h"
#include "tonal/Tone.h"
#include "tools/ToneTableFile.h"

#include <optional>
#include <string>

namespace kadrimex::batch {
namespace {

int Channel(const std::string& text)
{
    const int channel = ParseInt(text, "CHANNEL");
    if (channel < 0 || channel > 3)
        throw UsageError("CHANNEL must be 0 (all), 1 (red), 2 (green) or 3 (blue)");
    return channel;
}

// A bound as the levels dialog reads its edit; text that is not an integer
// fails its bound's check.
std::optional<std::int32_t> Bound(const std::string& text)
{
    try {
        return ParseInt(text, "FROM");
    } catch (const UsageError&) {
        return std::nullopt;
    }
}

TToneTable ReadToneTable(const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    try {
        bytes = ReadFileBytes(path);
    } catch (const EImageError& e) {
        throw EImageError(std::string("Cannot read the tone table: ") + e.what());
    }
    return ParseToneTable(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), path);
}

const BatchRegistration equalizeCommand({"equalize", "CHANNEL", 1, 1, true, [](BatchRun& run) {
    RunOperation(run, TLevelsParams{0, 0, 0, Channel(run.Args()[0])}, TDestinationPolicy::WorkingCopyInPlace);
}});

// The dialog's checks, in its order and with its messages.
const BatchRegistration rangeCommand({"range", "FROM TO CHANNEL", 3, 3, true, [](BatchRun& run) {
    const auto& a = run.Args();
    const std::optional<std::int32_t> from = Bound(a[0]);
    const std::optional<std::int32_t> to = Bound(a[1]);
    if (const char* error = RangeBoundsError(from, to))
        throw UsageError(error);
    RunOperation(run, TLevelsParams{1, *from, *to, Channel(a[2])}, TDestinationPolicy::WorkingCopyInPlace);
}});

const BatchRegistration curveCommand({"curve", "CHANNEL TABLEFILE", 2, 2, true, [](BatchRun& run) {
    const int channel = Channel(run.Args()[0]);
    RunOperation(run, TCurveParams{ReadToneTable(run.Args()[1]), channel}, TDestinationPolicy::WorkingCopyInPlace);
}});

}  // namespace
}  // namespace kadrimex::batch
