// placeholder: replaced by the codec / pixel-format work
#include "engine/Codecs.h"
namespace kadrimex {
TBitmap DecodeBmp(const std::uint8_t*, std::size_t) { throw EImageError("BMP not yet"); }
std::vector<std::uint8_t> EncodeBmp(const TBitmap&) { throw EImageError("BMP not yet"); }
TBitmap DecodeJpeg(const std::uint8_t*, std::size_t) { throw EImageError("JPEG not yet"); }
std::vector<std::uint8_t> EncodeJpeg(const TBitmap&, int, bool) { throw EImageError("JPEG not yet"); }
std::vector<TIconEntry> ParseIco(const std::uint8_t*, std::size_t) { throw EImageError("ICO not yet"); }
std::size_t BestIconEntry(const std::vector<TIconEntry>&) { return 0; }
TBitmap DecodeIconDib(const TIconEntry&) { throw EImageError("ICO not yet"); }
std::vector<std::uint8_t> ReadFileBytes(const std::string&) { throw EImageError("not yet"); }
void WriteFileAtomically(const std::string&, const std::vector<std::uint8_t>&) { throw EImageError("not yet"); }
}
