#pragma once

#include <QValidator>

// Accepts only text that the profile can store: every character must exist in Windows-1252 (control
// characters excluded), the 8-bit character set of the configuration file and the protocol file. Other
// characters are refused as they are typed or pasted, instead of turning into "?" when stored.
class AnsiValidator : public QValidator {
    Q_OBJECT

public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

// True when every character of the text exists in Windows-1252 and none is a control character.
bool isAnsi(const QString& text);
