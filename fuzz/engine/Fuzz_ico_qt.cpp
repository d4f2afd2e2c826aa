// Icon files as the picture control shows them: entries the core's parser
// accepts, decoded by Qt's icon reader (PNG entries through libpng). The
// reader must return a null image or one of a plausible size, never crash.
#include "app/IconImage.h"
#include "engine/Codecs.h"
#include "engine/Graphic.h"

#include <QCoreApplication>
#include <QImageReader>

using namespace kadrimex;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // The image plugins are found through the application's library paths
    // and loaded here once, so their caches are not taken for leaks.
    static QCoreApplication app(*argc, *argv);
    // Qt's warnings about broken entries would only slow the run down.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    if (!QImageReader::supportedImageFormats().contains("ico"))
        __builtin_trap();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::unique_ptr<TIcon> icon;
    try {
        icon = std::make_unique<TIcon>(std::vector<std::uint8_t>(data, data + size));
    } catch (const EImageError&) {
        return 0;
    }
    const QImage image = IconImage(*icon);
    // The directory gives sides of 1 to 256; a PNG entry may claim more,
    // but never beyond what a picture may be.
    if (!image.isNull() && (image.width() < 1 || image.height() < 1 || image.width() > kMaxBitmapSide ||
                            image.height() > kMaxBitmapSide))
        __builtin_trap();
    return 0;
}
