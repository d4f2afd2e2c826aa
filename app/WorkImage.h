// The picture control of the main window. It owns the displayed picture and
// stretches it to its own size: zooming is done by resizing the control.
// Only the exposed part is painted, straight from the bitmap's rows with
// nearest-pixel sampling, so no scaled copy of the picture is ever made.
#pragma once

#include "engine/Bitmap.h"
#include "engine/Graphic.h"

#include <QImage>
#include <QWidget>

#include <memory>
#include <optional>

class QMouseEvent;

class TWorkImage : public QWidget {
    Q_OBJECT
public:
    explicit TWorkImage(QWidget* parent = nullptr);

    const kadrimex::TPicture& Picture() const { return *FPicture; }
    // Shows the picture, rebuilds its display image and repaints. The
    // control's size is left alone (the zoom sets it).
    void SetPicture(std::shared_ptr<const kadrimex::TPicture> picture);
    void SetPicture(kadrimex::TPicture picture);
    // Size of the picture in its own pixels.
    QSize PictureSize() const { return QSize(FPicture->Width(), FPicture->Height()); }

    // The size the picture is stretched to, in device pixels, so that 100 %
    // puts one picture pixel on one screen pixel whatever the device pixel
    // ratio. The control itself becomes that size divided by the ratio
    // (rounded up). Resizing the control directly shows the picture over
    // the whole new size.
    void SetShownSize(QSize devicePixels);
    QSize ShownSize() const { return FShown; }
    // The picture pixel under `position` (control coordinates), if any.
    std::optional<QPoint> PixelAt(QPointF position) const;

    // What is painted: the picture's pixels as a QImage. For bitmaps of
    // 1, 8, 15, 16, 24 and 32 bits it shares the bitmap's rows.
    const QImage& DisplayImage() const { return FImage; }

    // The source rectangle (picture pixels) that covers the widget area
    // `area` when the picture is stretched to `widget`. Empty when nothing
    // of the picture lies there.
    static QRect SourceRectFor(QRect area, QSize widget, QSize image);

signals:
    // The control's mouse events, handed on to the main window's hand tool.
    void MouseDown(QMouseEvent* event);
    void MouseMove(QMouseEvent* event);
    void MouseUp(QMouseEvent* event);
    // The mouse left the control.
    void MouseLeft();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void RefreshDisplayImage();

    // Shared with the picture document; never null.
    std::shared_ptr<const kadrimex::TPicture> FPicture = std::make_shared<const kadrimex::TPicture>();
    // Pixels the display image points into when it cannot wrap the
    // picture's own bitmap: a decoded JPEG, or a 4-bit picture spread to a
    // byte a pixel.
    kadrimex::TBitmap FDisplayBitmap;
    QImage FImage;
    QSize FShown;
};
