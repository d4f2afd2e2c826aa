#include "app/IconImage.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <algorithm>

namespace kadrimex {

QImage IconImage(const TIcon& icon)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(icon.Data().data()),
                                                     static_cast<qsizetype>(icon.Data().size()));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    QImage best;
    const int count = std::max(1, reader.imageCount());
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        const QImage image = reader.read();
        if (image.isNull())
            continue;
        const qint64 area = qint64(image.width()) * image.height();
        const qint64 bestArea = qint64(best.width()) * best.height();
        if (best.isNull() || area > bestArea || (area == bestArea && image.depth() > best.depth()))
            best = image;
    }
    return best;
}

}  // namespace kadrimex
