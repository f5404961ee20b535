#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// One value of a series or shot record: a machine text, carried whole. The records live in
// memory only, so a field takes whatever a machine sends, up to maxSize bytes. A longer text, or
// one holding a zero byte, is line garbage rather than a value: set() refuses it and leaves the
// field empty, so that the caller can tell the user instead of writing part of it as a number.
class FieldText {
public:
    static constexpr std::size_t maxSize = 32;

    FieldText() = default;
    // Same as set(), for filling records with known values: shot.Ringwert = "104".
    FieldText& operator=(std::string_view text) {
        set(text);
        return *this;
    }

    static bool fits(std::string_view text) {
        return text.size() <= maxSize && text.find('\0') == std::string_view::npos;
    }

    // Stores the whole text; false (and an empty field) when it does not fit.
    bool set(std::string_view text);

    std::string_view view() const { return m_text; }
    const std::string& str() const { return m_text; }
    std::size_t size() const { return m_text.size(); }
    bool empty() const { return m_text.empty(); }

    friend bool operator==(const FieldText& a, const FieldText& b) { return a.m_text == b.m_text; }
    friend bool operator==(const FieldText& a, std::string_view b) { return a.view() == b; }

private:
    std::string m_text;
};
