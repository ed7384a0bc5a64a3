#pragma once

#include <QIntValidator>

// A QIntValidator for ASCII digits only that refuses a keystroke which would take the number above its top, as
// QIntValidator itself did in earlier Qt 5 releases. Qt 5.15 lets "65536" stand as intermediate input while it has no
// more digits than the top, and a port or baud rate like that would then reach the module's frame.
class BoundedIntValidator : public QIntValidator
{
    Q_OBJECT
    Q_DISABLE_COPY(BoundedIntValidator)

public:
    BoundedIntValidator(int bottom, int top, QObject *parent);

    State validate(QString &input, int &pos) const override;
};
