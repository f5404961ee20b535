#include "AnsiValidator.h"

#include "QtText.h"

bool isAnsi(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() < 0x20) // control characters end or break a stored text
            return false;
    }
    return fromAnsi(toAnsi(text)) == text;
}

QValidator::State AnsiValidator::validate(QString& input, int&) const {
    return isAnsi(input) ? Acceptable : Invalid;
}
