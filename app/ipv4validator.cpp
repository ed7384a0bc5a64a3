#include "ipv4validator.h"

#include "framelayout.h"

#include <QStringList>

namespace {

bool isOctetPrefix(const QString &part)
{
    if (part.size() > MaxOctetDigits)
        return false;
    for (const QChar c : part) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return part.isEmpty() || part.toInt() <= MaxOctet;
}

} // namespace

Ipv4Validator::Ipv4Validator(QObject *parent)
    : QValidator(parent)
{
}

QValidator::State Ipv4Validator::validate(QString &input, int &) const
{
    if (parseIpv4(input))
        return Acceptable;
    const QStringList parts = input.split(QLatin1Char('.'));
    if (parts.size() > Ipv4Parts)
        return Invalid;
    for (const QString &part : parts) {
        if (!isOctetPrefix(part))
            return Invalid;
    }
    return Intermediate;
}
