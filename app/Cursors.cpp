#include "app/Cursors.h"

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
    const QPixmap picture(QStringLiteral(":/cursors/") + QString::fromLatin1(name) + QStringLiteral(".png"));
    if (picture.isNull())
        return false;
    CursorTable().insert_or_assign(number, QCursor(picture, hotSpot.x(), hotSpot.y()));
    return true;
}

QCursor ScreenCursor(int number)
{
    const auto it = CursorTable().find(number);
    return it == CursorTable().end() ? QCursor(Qt::ArrowCursor) : it->second;
}

}  // namespace kadrimex::ui
