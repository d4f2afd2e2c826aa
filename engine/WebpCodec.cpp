// WebP through libwebp and libwebpdemux.
//
// Read: lossy, lossless, with or without alpha, and the first frame of an
// animation. Every picture opens as 24 bits; alpha is composited over white
// as (c·a + 255·(255 − a) + 127) div 255. An animation's first frame is
// drawn on its canvas as a player shows it before the second: the canvas
// starts transparent, so what the frame leaves uncovered is white.
// A truncated or corrupt file is refused as a whole with the reason; the
// container is parsed completely, and the canvas size checked, before any
// pixel memory is taken.
//
// Write: lossy, quality 80, the library's default method; pictures of other
// formats are converted to 24 bits on a copy first.
#include "engine/Codecs.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>

namespace kadrimex {

namespace {

// The largest side a WebP bitstream can hold.
constexpr int kMaxWebpSide = 16383;

[[noreturn]] void Fail(const std::string& reason)
{
    throw EImageError("WebP: " + reason);
}

[[noreturn]] void FailStatus(VP8StatusCode status)
{
    switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY: throw EOutOfResources("Not enough memory to read the WebP file");
    case VP8_STATUS_NOT_ENOUGH_DATA: Fail("file is truncated");
    case VP8_STATUS_UNSUPPORTED_FEATURE: Fail("the file uses a feature that is not supported");
    default: Fail("the picture data is corrupt");
    }
}

std::uint8_t Over(unsigned c, unsigned a)
{
    return std::uint8_t((c * a + 255 * (255 - a) + 127) / 255);
}

struct TDemuxDeleter {
    void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};

}  // namespace

TBitmap DecodeWebp(const std::uint8_t* data, std::size_t size)
{
    if (size < 12)
        Fail("file is truncated");
    if (std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WEBP", 4) != 0)
        Fail("not a WebP file");
    const WebPData file{data, size};
    WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
    std::unique_ptr<WebPDemuxer, TDemuxDeleter> demux(WebPDemuxPartial(&file, &state));
    if (state == WEBP_DEMUX_PARSE_ERROR)
        Fail("the file's structure is corrupt");
    if (!demux || state == WEBP_DEMUX_PARSING_HEADER)
        Fail("file is truncated");

    // The canvas is known once the header is; its size is refused before
    // the rest is looked at.
    const auto width = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
    const auto height = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
    if (width > unsigned(kMaxBitmapSide) || height > unsigned(kMaxBitmapSide) ||
        std::int64_t(width) * std::int64_t(height) > kMaxBitmapPixels)
        Fail("the picture is too large (" + std::to_string(width) + " x " + std::to_string(height) + ")");
    if (state != WEBP_DEMUX_DONE)
        Fail("file is truncated");
    if (width == 0 || height == 0)
        Fail("the picture has no pixels");

    WebPIterator frame{};
    if (!WebPDemuxGetFrame(demux.get(), 1, &frame))
        Fail("the file holds no picture");
    struct TIteratorRelease {
        WebPIterator* frame;
        ~TIteratorRelease() { WebPDemuxReleaseIterator(frame); }
    } release{&frame};
    if (frame.width <= 0 || frame.height <= 0 || frame.x_offset < 0 || frame.y_offset < 0 ||
        std::int64_t(frame.x_offset) + frame.width > std::int64_t(width) ||
        std::int64_t(frame.y_offset) + frame.height > std::int64_t(height))
        Fail("the frame lies outside the picture");

    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        Fail("the decoder library does not match");
    const VP8StatusCode features = WebPGetFeatures(frame.fragment.bytes, frame.fragment.size, &config.input);
    if (features != VP8_STATUS_OK)
        FailStatus(features);
    if (config.input.width != frame.width || config.input.height != frame.height)
        Fail("the frame's size does not match its header");

    TBitmap bitmap;
    const bool whole = frame.width == int(width) && frame.height == int(height);
    if (whole && !config.input.has_alpha) {
        // Straight into the picture's rows.
        bitmap.ResetForOverwrite(int(width), int(height), TPixelFormat::pf24bit);
        config.output.colorspace = MODE_BGR;
        config.output.is_external_memory = 1;
        config.output.u.RGBA.rgba = bitmap.ScanLine(0);
        config.output.u.RGBA.stride = int(bitmap.Stride());
        config.output.u.RGBA.size = bitmap.Stride() * std::size_t(height);
        const VP8StatusCode status = WebPDecode(frame.fragment.bytes, frame.fragment.size, &config);
        WebPFreeDecBuffer(&config.output);
        if (status != VP8_STATUS_OK)
            FailStatus(status);
        // The row padding was left as it was; clear it.
        const std::size_t used = std::size_t(width) * 3;
        for (int y = 0; y < int(height); ++y)
            std::memset(bitmap.ScanLine(y) + used, 0, bitmap.Stride() - used);
        return bitmap;
    }

    // Decoded with its alpha apart, then laid over a white canvas.
    const std::size_t frameStride = std::size_t(frame.width) * 4;
    auto rgba = AllocatePixels(frameStride * std::size_t(frame.height), false);
    config.output.colorspace = MODE_RGBA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = rgba.get();
    config.output.u.RGBA.stride = int(frameStride);
    config.output.u.RGBA.size = frameStride * std::size_t(frame.height);
    const VP8StatusCode status = WebPDecode(frame.fragment.bytes, frame.fragment.size, &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK)
        FailStatus(status);
    bitmap.Reset(int(width), int(height), TPixelFormat::pf24bit);
    FillSolid(bitmap, 255, 255, 255);
    for (int y = 0; y < frame.height; ++y) {
        const std::uint8_t* in = rgba.get() + frameStride * std::size_t(y);
        std::uint8_t* out = bitmap.ScanLine(frame.y_offset + y) + std::size_t(frame.x_offset) * 3;
        for (int x = 0; x < frame.width; ++x, in += 4, out += 3) {
            out[0] = Over(in[2], in[3]);
            out[1] = Over(in[1], in[3]);
            out[2] = Over(in[0], in[3]);
        }
    }
    return bitmap;
}

std::vector<std::uint8_t> EncodeWebp(const TBitmap& bitmap, int quality)
{
    if (bitmap.Empty())
        Fail("cannot save an empty picture");
    if (bitmap.Width() > kMaxWebpSide || bitmap.Height() > kMaxWebpSide)
        Fail("a picture wider or taller than " + std::to_string(kMaxWebpSide) + " pixels cannot be saved as WebP");
    const TBitmap* source = &bitmap;
    TBitmap converted;
    if (bitmap.PixelFormat() != TPixelFormat::pf24bit) {
        converted.Assign(bitmap);
        converted.SetPixelFormat(TPixelFormat::pf24bit);
        source = &converted;
    }
    WebPConfig config;
    WebPPicture picture;
    if (!WebPConfigPreset(&config, WEBP_PRESET_DEFAULT, float(quality)) || !WebPPictureInit(&picture))
        Fail("the encoder library does not match");
    config.thread_level = 1;  // the analysis on a second thread; the bytes are the same
    picture.width = source->Width();
    picture.height = source->Height();
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    struct TRelease {
        WebPPicture* picture;
        WebPMemoryWriter* writer;
        ~TRelease()
        {
            WebPPictureFree(picture);
            WebPMemoryWriterClear(writer);
        }
    } release{&picture, &writer};
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    if (!WebPPictureImportBGR(&picture, source->ScanLine(0), int(source->Stride())) ||
        !WebPEncode(&config, &picture)) {
        if (picture.error_code == VP8_ENC_ERROR_OUT_OF_MEMORY || picture.error_code == VP8_ENC_OK)
            throw EOutOfResources("Not enough memory to save the picture");
        Fail("the picture cannot be encoded (error " + std::to_string(int(picture.error_code)) + ")");
    }
    return std::vector<std::uint8_t>(writer.mem, writer.mem + writer.size);
}

}  // namespace kadrimex
