// The generators (operation codes 0x40 to 0x44): each replaces the picture
// by an 8-bit mask picture of the user's size. The worker gives the
// destination the grey (0x40 to 0x42) or signed (0x43, 0x44) palette; the
// painter sets the size and writes every byte. None publishes progress;
// each tests the terminate request once per row.
#pragma once

#include "engine/Bitmap.h"
#include "engine/ProcessorThread.h"

#include <cstdint>

namespace kadrimex {

// Operation codes of the generators.
namespace op {
inline constexpr std::int8_t GaussGenerator = 0x40;
inline constexpr std::int8_t TriangleGenerator = 0x41;
inline constexpr std::int8_t ShapeGenerator = 0x42;
inline constexpr std::int8_t SharpenGenerator = 0x43;
inline constexpr std::int8_t EdgeGenerator = 0x44;
}  // namespace op

// Abstract shape `function` with shaping parameter `a` on a ceil(width) x
// ceil(height) grey picture:
//   0  product of two folds: v = |(x sx - ox) |y sy - oy||, sx = 200 a / W,
//      sy = 200 a / H, ox = oy = 100 a - 255; 255 where floor(v) <= 255,
//      else the low byte of floor(v)
//   1  PaintGaussMask(GaussBaseLevel e^(-100 a))
//   2  the Gauss mask g of level GaussBaseLevel e^a modulated by
//      sin(y H / 4pi) sin(x W / 4pi): the low byte of floor(max(0, v + 128)),
//      v above 2147483647 first taken modulo 256
//   3  rings: 127.5 + 127.5 cos(a r), r the distance from the centre
//   4  a three-armed spiral: 127.5 + 127.5 cos(a r - 3 theta), theta the
//      angle around the centre
//   5  moire of two ring gratings centred a third of the width from either
//      side: 127.5 + 63.75 (cos(a r1) + cos(a r2))
// Shapes 3 to 5 store the floor of the value, kept within 0..255; the
// parameter is the rings' angular frequency in radians per pixel. Any other
// function number paints nothing.
void PaintAbstractShape(TBitmapProcesorThread& thread, TBitmap* mask, int function, long double a,
                        long double width, long double height);

// The generator dialogs' values (steepness s, sizes W and H). FillThread
// sets the code, FParam3 = W, FParam4 = H, FIntParam and FParam1:
//   Gauss, sharpen  GaussBaseLevel e^s for s >= 0, GaussBaseLevel e^(s 6.23 0.001) below
//   triangle        the foot -0.1 (-s 0.02) for -s >= 0, -0.1 (-s 0.005) otherwise;
//                   FParam2 the angle
//   edge            (s + 1000) 0.000500751126690035
//   shape           FParam1 the shaping parameter, FIntParam the function
struct TGaussGeneratorParams {
    long double steepness;
    int width;
    int height;
};
struct TTriangleGeneratorParams {
    long double steepness;
    long double angle;
    int width;
    int height;
};
struct TShapeGeneratorParams {
    int function;
    long double parameter;
    int width;
    int height;
};
struct TSharpenGeneratorParams {
    long double steepness;
    int width;
    int height;
};
struct TEdgeGeneratorParams {
    long double steepness;
    int width;
    int height;
};

void FillThread(TBitmapProcesorThread& thread, const TGaussGeneratorParams& params);
void FillThread(TBitmapProcesorThread& thread, const TTriangleGeneratorParams& params);
void FillThread(TBitmapProcesorThread& thread, const TShapeGeneratorParams& params);
void FillThread(TBitmapProcesorThread& thread, const TSharpenGeneratorParams& params);
void FillThread(TBitmapProcesorThread& thread, const TEdgeGeneratorParams& params);

}  // namespace kadrimex
