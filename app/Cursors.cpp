#include "app/Cursors.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QString>

#include <map>

namespace kadrimex::ui {

namespace {

std::map<int, QCursor>& CursorTable()
{
    static std::map<int, QCursor> table;
    return table;
}

}  // namespace

bool RegisterCursor(int number, const char* name, QPoint hotSpot)
{
    const QString path = QStringLiteral(":/cursors/") + QString::fromLatin1(name);
    QPixmap picture(path + QStringLiteral(".png"));
    if (picture.isNull())
        return false;
    // On a screen of device pixel ratio above 1 the hand drawn at twice the
    // size; the hot spot stays in the cursor's own (logical) pixels.
    if (qGuiApp && qGuiApp->devicePixelRatio() > 1) {
        QPixmap sharp(path + QStringLiteral("@2x.png"));
        if (!sharp.isNull()) {
            sharp.setDevicePixelRatio(2);
            picture = sharp;
        }
    }
    CursorTable().insert_or_assign(number, QCursor(picture, hotSpot.x(), hotSpot.y()));
    return true;
}

QCursor ScreenCursor(int number)
{
    const auto it = CursorTable().find(number);
    return it == CursorTable().end() ? QCursor(Qt::ArrowCursor) : it->second;
}

}  // namespace kadrimex::ui
