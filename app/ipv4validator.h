#pragma once

#include <QValidator>

// The address fields' validator. A finished address is what the frame builder reads (parseIpv4), so typing and
// sending follow one rule; what could still become one (at most four parts of up to three ASCII digits, none above
// 255) is intermediate.
class Ipv4Validator : public QValidator
{
    Q_OBJECT
    Q_DISABLE_COPY(Ipv4Validator)

public:
    explicit Ipv4Validator(QObject *parent);

    State validate(QString &input, int &pos) const override;
};
