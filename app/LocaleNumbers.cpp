#include "app/LocaleNumbers.h"

#include <QLocale>

#include <cmath>

namespace kadrimex::ui {

QString FormatReal(long double value, int decimals)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(double(value), 'f', decimals);
}

bool ParseReal(const QString& text, long double& value)
{
    QLocale locale;
    bool ok = false;
    const double parsed = locale.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

bool ParseInt(const QString& text, int& value)
{
    bool ok = false;
    const int parsed = QLocale().toInt(text.trimmed(), &ok);
    if (!ok)
        return false;
    value = parsed;
    return true;
}

}  // namespace kadrimex::ui
