#include "app/LocaleNumbers.h"

#include <QLocale>

#include <charconv>
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
    // Validate in the locale's format, then read the digits as an 80-bit real
    // (not through a double) so the value equals what the batch tool reads.
    QLocale locale;
    locale.setNumberOptions(QLocale::RejectGroupSeparator);
    const QString trimmed = text.trimmed();
    bool ok = false;
    const double check = locale.toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(check))
        return false;
    QString plain;
    for (const QChar c : trimmed) {
        if (QString(c) == locale.decimalPoint())
            plain += QLatin1Char('.');
        else if (QString(c) == locale.negativeSign())
            plain += QLatin1Char('-');
        else if (QString(c) == locale.positiveSign())
            continue;
        else
            plain += c;
    }
    const QByteArray digits = plain.toLatin1();
    long double parsed = 0;
    const auto [end, error] = std::from_chars(digits.constData(), digits.constData() + digits.size(), parsed);
    if (error != std::errc() || end != digits.constData() + digits.size())
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
