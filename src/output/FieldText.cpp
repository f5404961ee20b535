#include "FieldText.h"

// Out of line: inlined into callers with constant texts, GCC 12 warns falsely about the copy.
bool FieldText::set(std::string_view text) {
    if (!fits(text)) {
        m_text.clear();
        return false;
    }
    m_text.assign(text);
    return true;
}
