#include "SerienDatensatz.h"

#include <climits>

int readDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1; // keeps growing bounded; clamped below
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

std::size_t TSerienDatensatz::shotCount() const {
    const int n = readDecimal(Schusszahl.view());
    if (n <= 0)
        return 0;
    return static_cast<std::size_t>(n) < Schuesse.size() ? static_cast<std::size_t>(n) : Schuesse.size();
}

std::string feldFehler(std::string_view feldname, std::string_view text) {
    if (FieldText::fits(text))
        return {};
    std::string satz = "Das Feld ";
    satz += feldname;
    if (text.size() > FieldText::maxSize)
        satz += " ist l\xE4nger als " + std::to_string(FieldText::maxSize) + " Zeichen";
    else
        satz += " enth\xE4lt ein Nullbyte";
    return satz;
}
