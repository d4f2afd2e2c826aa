// JPEG through libjpeg-turbo. Decoding accepts baseline, progressive,
// greyscale, RGB, CMYK and YCCK (Adobe inverted or plain) and always gives
// a 24-bit picture (blue, green, red). Encoding writes JFIF, YCbCr 4:2:0,
// the standard tables scaled to the quality, baseline unless progressive
// is asked for.
//
// libjpeg reports fatal errors through a callback that must not return;
// ours longjmps back into the function that called setjmp. That function
// keeps no object with a destructor of its own: everything lives in a heap
// state that the caller owns and releases, so the jump skips no cleanup.
#include "engine/Codecs.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <jpeglib.h>
#include <jerror.h>

namespace kadrimex {

namespace {

// Ceiling on libjpeg's whole-picture buffers (progressive coefficients).
// Enough for progressive pictures far beyond camera sizes; a header that
// claims more fails instead of taking gigabytes.
constexpr long kMaxJpegWorkMemory = 512L * 1024 * 1024;

struct TJpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings are ignored, except the data running out before the picture is
// complete: libjpeg would fill the rest with grey (and would do so for every
// row of a short file claiming a huge size); we refuse the file instead.
void EmitMessage(j_common_ptr cinfo, int level)
{
    auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
    if (level < 0) {
        const int code = cinfo->err->msg_code;
        if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER) {
            std::snprintf(err->message, sizeof err->message, "%s",
                          code == JWRN_JPEG_EOF ? "file is truncated" : "the picture data ends too early");
            std::longjmp(err->jump, 1);
        }
        ++cinfo->err->num_warnings;
    }
}

void InstallErrorManager(TJpegError& err)
{
    jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.emit_message = EmitMessage;
    err.message[0] = 0;
}

struct TDecodeState {
    jpeg_decompress_struct cinfo{};
    TJpegError err{};
    bool created = false;
    TBitmap bitmap;
    std::vector<std::uint8_t> cmyk;      // rows of CMYK samples before conversion
    std::vector<JSAMPROW> rows;
    std::vector<std::unique_ptr<std::uint8_t[]>> strips;  // decoded rows, top first
    int stripRows = 0;                                    // rows of each full strip
    std::size_t heldBytes = kJpegHeldBytes;               // strips kept before the bitmap
    std::string refusal;                 // a reason found by our own checks

    ~TDecodeState()
    {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
};

std::uint8_t MulDiv255(int a, int b)
{
    return std::uint8_t((a * b + 127) / 255);
}

// Converts CMYK samples to blue, green, red. Adobe writes inverted samples
// (0 = full ink), which then multiply directly.
void CmykToBgr(const std::uint8_t* src, std::uint8_t* dst, int width, bool inverted)
{
    for (int x = 0; x < width; ++x, src += 4, dst += 3) {
        int c = src[0], m = src[1], y = src[2], k = src[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        dst[0] = MulDiv255(y, k);
        dst[1] = MulDiv255(m, k);
        dst[2] = MulDiv255(c, k);
    }
}

// Gives the bitmap its full size and moves the first `rows` decoded rows
// into it from the strips, releasing each strip as it goes. The row
// padding is zeroed here; decoding writes every other byte.
void MoveStripsIntoBitmap(TDecodeState& s, int rows)
{
    const int width = int(s.cinfo.output_width);
    const int height = int(s.cinfo.output_height);
    const std::size_t rowBytes = std::size_t(width) * 3;
    s.bitmap.ResetForOverwrite(width, height, TPixelFormat::pf24bit);
    if (s.bitmap.Stride() > rowBytes)
        for (int y = 0; y < height; ++y)
            std::memset(s.bitmap.ScanLine(y) + rowBytes, 0, s.bitmap.Stride() - rowBytes);
    int y = 0;
    for (auto& strip : s.strips) {
        for (int i = 0; i < s.stripRows && y < rows; ++i, ++y)
            std::memcpy(s.bitmap.ScanLine(y), strip.get() + std::size_t(i) * rowBytes, rowBytes);
        strip.reset();
    }
    s.strips.clear();
}

bool RunDecode(TDecodeState& s, const std::uint8_t* data, std::size_t size)
{
    if (setjmp(s.err.jump))
        return false;
    jpeg_create_decompress(&s.cinfo);
    s.created = true;
    s.cinfo.mem->max_memory_to_use = kMaxJpegWorkMemory;
    jpeg_mem_src(&s.cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&s.cinfo, TRUE) != JPEG_HEADER_OK) {
        s.refusal = "the file holds no picture";
        return false;
    }
    const std::uint64_t w = s.cinfo.image_width, h = s.cinfo.image_height;
    if (w == 0 || h == 0 || w > std::uint64_t(kMaxBitmapSide) || h > std::uint64_t(kMaxBitmapSide) ||
        w * h > std::uint64_t(kMaxBitmapPixels)) {
        s.refusal = "a picture of " + std::to_string(w) + " x " + std::to_string(h) + " pixels is too large";
        return false;
    }

    const bool cmyk = s.cinfo.jpeg_color_space == JCS_CMYK || s.cinfo.jpeg_color_space == JCS_YCCK;
    s.cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_start_decompress(&s.cinfo);

    const int width = int(s.cinfo.output_width);
    const int height = int(s.cinfo.output_height);
    const std::size_t rowBytes = std::size_t(width) * 3;
    const int batch = std::max(1, s.cinfo.rec_outbuf_height);
    // Rows go first to strips of about 1 MB that grow with the data actually
    // decoded, so a short file claiming a huge size fails (as truncated)
    // before the whole picture's memory is taken. Once s.heldBytes have
    // decoded, the strips move into the bitmap and the rest decodes there:
    // the peak is the picture plus those strips, not twice the picture.
    // (Arithmetic-coded data may legally end early and decode to flat rows,
    // so a tiny file can still make a large picture; it takes no more.)
    const int stripRows = std::max(batch, int((std::size_t(1) << 20) / rowBytes) / batch * batch);
    s.stripRows = stripRows;
    s.rows.resize(std::size_t(batch));
    if (cmyk)
        s.cmyk.resize(std::size_t(width) * 4 * std::size_t(batch));

    bool direct = false;
    while (s.cinfo.output_scanline < s.cinfo.output_height) {
        const int first = int(s.cinfo.output_scanline);
        if (!direct && first % stripRows == 0) {
            direct = std::size_t(first) * rowBytes >= s.heldBytes;
            if (direct)
                MoveStripsIntoBitmap(s, first);
            else
                s.strips.push_back(AllocatePixels(rowBytes * std::size_t(std::min(stripRows, height - first)), false));
        }
        std::uint8_t* strip = direct ? nullptr : s.strips.back().get();
        auto rowAt = [&](int y) {
            return direct ? s.bitmap.ScanLine(y) : strip + std::size_t(y % stripRows) * rowBytes;
        };
        const int count =
            direct ? std::min(batch, height - first) : std::min({batch, height - first, stripRows - first % stripRows});
        for (int i = 0; i < count; ++i)
            s.rows[std::size_t(i)] = cmyk ? s.cmyk.data() + std::size_t(i) * width * 4 : rowAt(first + i);
        const int got = int(jpeg_read_scanlines(&s.cinfo, s.rows.data(), JDIMENSION(count)));
        if (cmyk)
            for (int i = 0; i < got; ++i)
                CmykToBgr(s.rows[std::size_t(i)], rowAt(first + i), width, s.cinfo.saw_Adobe_marker);
        if (got == 0) {
            s.refusal = "file is truncated";
            return false;
        }
    }
    if (!direct)
        MoveStripsIntoBitmap(s, height);
    // The trailer after the last row is not needed; the state's
    // destructor releases the decoder.
    return true;
}

// The compressed bytes go straight into the vector that is returned, so
// they are never held twice.
struct TVectorDestination {
    jpeg_destination_mgr pub{};
    std::vector<std::uint8_t> bytes;
    bool full = false;  // the vector could not grow

    static TVectorDestination& Of(j_compress_ptr cinfo) { return *reinterpret_cast<TVectorDestination*>(cinfo->dest); }
    static void Init(j_compress_ptr cinfo) { Of(cinfo).Grow(cinfo, std::size_t(1) << 16); }
    static boolean Empty(j_compress_ptr cinfo)
    {
        // The whole buffer is full, whatever free_in_buffer says: the
        // entropy coder calls this with its own copy of the position.
        auto& d = Of(cinfo);
        d.pub.free_in_buffer = 0;
        d.Grow(cinfo, d.bytes.size());
        return TRUE;
    }
    static void Term(j_compress_ptr cinfo)
    {
        auto& d = Of(cinfo);
        d.bytes.resize(d.bytes.size() - d.pub.free_in_buffer);
    }
    // Adds `more` bytes of room after the bytes written so far; when the
    // memory runs out, leaves the encoder as its own errors do (no C++
    // exception crosses the library).
    void Grow(j_compress_ptr cinfo, std::size_t more)
    {
        const std::size_t used = bytes.size() - pub.free_in_buffer;
        try {
            bytes.resize(used + more);
        } catch (const std::bad_alloc&) {
            full = true;
        }
        if (full)
            std::longjmp(reinterpret_cast<TJpegError*>(cinfo->err)->jump, 1);
        pub.next_output_byte = bytes.data() + used;
        pub.free_in_buffer = more;
    }
};

struct TEncodeState {
    jpeg_compress_struct cinfo{};
    TJpegError err{};
    bool created = false;
    TVectorDestination destination;
    std::vector<JSAMPROW> rows;
    std::vector<std::uint8_t> converted;  // rows converted to 24 bits
    std::unique_ptr<TBgrRowReader> reader;

    ~TEncodeState()
    {
        if (created)
            jpeg_destroy_compress(&cinfo);
    }
};

// Rows of any format are converted to 24 bits only as the encoder asks for
// them, a batch at a time.
bool RunEncode(TEncodeState& s, const TBitmap& bitmap, int quality, bool progressive)
{
    if (setjmp(s.err.jump))
        return false;
    jpeg_create_compress(&s.cinfo);
    s.created = true;
    s.destination.pub.init_destination = &TVectorDestination::Init;
    s.destination.pub.empty_output_buffer = &TVectorDestination::Empty;
    s.destination.pub.term_destination = &TVectorDestination::Term;
    s.cinfo.dest = &s.destination.pub;
    s.cinfo.image_width = JDIMENSION(bitmap.Width());
    s.cinfo.image_height = JDIMENSION(bitmap.Height());
    s.cinfo.input_components = 3;
    s.cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&s.cinfo);  // YCbCr 4:2:0, standard Huffman tables
    jpeg_set_quality(&s.cinfo, quality, TRUE);
    if (progressive)
        jpeg_simple_progression(&s.cinfo);
    jpeg_start_compress(&s.cinfo, TRUE);
    const int batch = 16;
    s.rows.resize(batch);
    const std::size_t rowBytes = std::size_t(bitmap.Width()) * 3;
    while (s.cinfo.next_scanline < s.cinfo.image_height) {
        const int first = int(s.cinfo.next_scanline);
        const int count = std::min(batch, bitmap.Height() - first);
        for (int i = 0; i < count; ++i) {
            std::uint8_t* buffer = s.converted.data() + std::size_t(i) * rowBytes;
            s.rows[std::size_t(i)] = const_cast<JSAMPROW>(s.reader->Row(first + i, buffer));
        }
        jpeg_write_scanlines(&s.cinfo, s.rows.data(), JDIMENSION(count));
    }
    jpeg_finish_compress(&s.cinfo);
    return true;
}

}  // namespace

TBitmap DecodeJpeg(const std::uint8_t* data, std::size_t size, std::size_t heldBytes)
{
    if (data == nullptr || size == 0)
        throw EImageError("JPEG: file is empty");
    auto state = std::make_unique<TDecodeState>();
    state->heldBytes = heldBytes;
    InstallErrorManager(state->err);
    state->cinfo.err = &state->err.pub;
    if (!RunDecode(*state, data, size)) {
        // A progressive or multi-scan picture is held whole as coefficients
        // while it decodes; beyond the work memory allowed the library can
        // only say it has no backing store.
        if (state->refusal.empty() && state->err.pub.msg_code == JERR_NO_BACKING_STORE)
            state->refusal = "a progressive picture of " + std::to_string(state->cinfo.image_width) + " x " +
                             std::to_string(state->cinfo.image_height) + " pixels needs more than " +
                             std::to_string(kMaxJpegWorkMemory >> 20) + " MB of working memory to decode";
        throw EImageError("JPEG: " + (state->refusal.empty() ? std::string(state->err.message) : state->refusal));
    }
    return std::move(state->bitmap);
}

std::vector<std::uint8_t> EncodeJpeg(const TBitmap& bitmap, int quality, bool progressive)
{
    if (bitmap.Empty())
        throw EImageError("JPEG: cannot save an empty picture");
    auto state = std::make_unique<TEncodeState>();
    // Room for one batch of converted rows; 24-bit rows are read in place.
    if (BitsPerPixel(bitmap.PixelFormat()) != 24 && BitsPerPixel(bitmap.PixelFormat()) != 0)
        state->converted.resize(std::size_t(bitmap.Width()) * 3 * 16);
    state->reader = std::make_unique<TBgrRowReader>(bitmap);
    InstallErrorManager(state->err);
    state->cinfo.err = &state->err.pub;
    if (!RunEncode(*state, bitmap, quality, progressive)) {
        if (state->destination.full)
            throw EOutOfResources("Not enough memory for the compressed JPEG");
        throw EImageError(std::string("JPEG: ") + state->err.message);
    }
    return std::move(state->destination.bytes);
}

}  // namespace kadrimex
