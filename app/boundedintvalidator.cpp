#include "boundedintvalidator.h"

BoundedIntValidator::BoundedIntValidator(int bottom, int top, QObject *parent)
    : QIntValidator(bottom, top, parent)
{
}

QValidator::State BoundedIntValidator::validate(QString &input, int &pos) const
{
    const State state = QIntValidator::validate(input, pos);
    if (state != Intermediate)
        return state;
    bool ok = false;
    const qlonglong value = locale().toLongLong(input, &ok);
    return ok && value > top() ? Invalid : state;
}
