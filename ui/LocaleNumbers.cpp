#include "ui/LocaleNumbers.h"

#include "engine/Numbers.h"

#include <QLocale>

#include <string_view>

namespace kadrimex::ui {

QString FormatReal(long double value, int decimals)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(double(value), 'f', decimals);
}

bool ParseReal(const QString& text, long double& value)
{
    // Map the locale's decimal point and signs to plain notation, then read
    // the digits as an exact 80-bit real (never through a double), exactly as
    // the batch tool reads its arguments. Group separators are refused.
    const QLocale locale;
    QString plain;
    for (const QChar c : text.trimmed()) {
        const QString s(c);
        if (s == locale.decimalPoint())
            plain += QLatin1Char('.');
        else if (s == locale.negativeSign() || c == QLatin1Char('-'))
            plain += QLatin1Char('-');
        else if (s == locale.positiveSign() || c == QLatin1Char('+'))
            plain += QLatin1Char('+');
        else if (s.compare(locale.exponential(), Qt::CaseInsensitive) == 0)
            plain += QLatin1Char('e');
        else if (c.isDigit() && c.digitValue() >= 0)
            plain += QLatin1Char(char('0' + c.digitValue()));
        else
            return false;
    }
    const QByteArray latin = plain.toLatin1();
    return kadrimex::ReadPlainReal(std::string_view(latin.constData(), std::size_t(latin.size())), value);
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
