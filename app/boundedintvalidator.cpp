#include "boundedintvalidator.h"

BoundedIntValidator::BoundedIntValidator(int bottom, int top, QObject *parent)
    : QIntValidator(bottom, top, parent)
{
}

QValidator::State BoundedIntValidator::validate(QString &input, int &pos) const
{
    // ASCII digits only, the alphabet the frame builder reads: no signs, group separators or other scripts'
    // digits, which the locale-aware QIntValidator would let through.
    for (const QChar c : qAsConst(input)) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return Invalid;
    }
    const State state = QIntValidator::validate(input, pos);
    if (state != Intermediate)
        return state;
    bool ok = false;
    const qlonglong value = locale().toLongLong(input, &ok);
    return ok && value > top() ? Invalid : state;
}
