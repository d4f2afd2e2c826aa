// The arithmetic of the picture view, kept free of widgets so it can be
// tested on its own: the zoom box's text rules, the control size of a zoomed
// picture and the clamping of a hand-tool drag.
#pragma once

#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

namespace kadrimex::view {

// Largest side a widget may have; a zoom that asks for more is held here so
// that typing a huge number cannot overflow the view's geometry.
inline constexpr int kMaxControlSide = 16777215;
// Zoom in never goes past this many percent.
inline constexpr int kMaxZoomInPercent = 50000;

// The text as a 32-bit signed integer: optional surrounding blanks, an
// optional sign and decimal digits. Anything else, or a value out of range,
// gives nothing.
std::optional<int> TextToInteger(const QString& text);

// The zoom in percent that Enter applies: the text as an integer, 100 when
// it is not one.
int ZoomPercent(const QString& text);
// z * 0.01 as an 80-bit real, made positive.
long double ZoomFactor(int percent);
// One side of the zoomed control: size * factor rounded to the nearest
// integer (ties to even), at least 1, at most kMaxControlSide.
int ZoomedSide(int size, long double factor);
// Both sides of the control showing `picture` at the zoom typed as `text`.
QSize ZoomedSize(QSize picture, const QString& text);

// New box text for "Zoom in": the integer (50 when the text is not one)
// made positive, 1 when below 1, else doubled, capped at kMaxZoomInPercent.
QString ZoomInText(const QString& text);
// New box text for "Zoom out": the integer (50 when not one) made
// positive and halved (truncated); nothing when that gives 0, so the box
// keeps its text.
std::optional<QString> ZoomOutText(const QString& text);

// The scroll a drag may apply. `delta` is the mouse offset from the grab
// point, `bounds` the picture control's rectangle inside the scroll box's
// viewport (negative left/top when scrolled), `client` the viewport size.
// The right and bottom edges may not come inside the window, and then the
// left and top edges may not leave its origin; the second rule wins, so a
// picture smaller than the window stays at the origin.
QPoint ClampDrag(QPoint delta, QRect bounds, QSize client);

// The scroll position that keeps the picture point under the cursor in
// place when the shown size changes from `before` to `after` (both in
// device pixels). `scroll` is the scroll bars' position and `cursor` the
// mouse in the viewport, both in widget pixels; the device pixel ratio
// cancels out. Rounded to the nearest position; the scroll bars clamp it.
QPoint ZoomScroll(QPoint scroll, QPointF cursor, QSize before, QSize after);

// The largest whole zoom percent (1 to kMaxZoomInPercent) at which
// `picture` shown as ZoomedSize() fits inside `client` (device pixels).
int FitPercent(QSize picture, QSize client);

// The picture pixel shown at `position` (device pixels from the control's
// top left) when `picture` is stretched to `shown`; nothing outside it.
// Column X of the control shows picture column floor(X * width / shown),
// as the control paints.
std::optional<QPoint> PixelAt(QPointF position, QSize shown, QSize picture);

// The status bar's readout of pixel `pixel` of the displayed `image`:
// "x, y: R r G g B b", with ", index i" for palette images.
QString ReadoutText(const QImage& image, QPoint pixel);

}  // namespace kadrimex::view
