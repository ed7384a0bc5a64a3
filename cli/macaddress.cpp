#include "macaddress.h"

#include "frameconstants.h"

#include <QRegularExpression>

std::optional<QString> parseMacAddress(const QString &text)
{
    // \A and \z rather than ^ and $, which would let a trailing newline through.
    static const QRegularExpression pattern(QStringLiteral("\\A(?:[0-9A-Fa-f]{%1}"
                                                           "|[0-9A-Fa-f]{2}(?::[0-9A-Fa-f]{2}){%2}"
                                                           "|[0-9A-Fa-f]{2}(?:-[0-9A-Fa-f]{2}){%2})\\z")
                                                .arg(MacDigits)
                                                .arg(MacSize - 1));
    if (!pattern.match(text).hasMatch())
        return std::nullopt;
    QString digits = text;
    digits.remove(QLatin1Char(':')).remove(QLatin1Char('-'));
    return digits.toUpper();
}
