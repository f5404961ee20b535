#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// A zero-terminated text of a fixed field width N (N includes the terminator), as the series and
// shot records hold their values. Whatever is put in, the field never holds more than N-1 bytes
// and always keeps its terminator, so a machine text that is too long can never overrun it. The
// object is exactly N bytes, like the field it stands for.
template <std::size_t N> class FixedText {
    static_assert(N >= 1, "a field needs room for its terminator");

public:
    static constexpr std::size_t capacity = N - 1;

    FixedText() = default;
    explicit FixedText(std::string_view text) { set(text); }
    // Same as set(), for filling records: shot.Ringwert = "104".
    FixedText& operator=(std::string_view text) {
        set(text);
        return *this;
    }

    // Stores the text up to its first NUL byte, cut to the field width. Returns false when
    // something had to be cut.
    bool set(std::string_view text) {
        const std::size_t nul = text.find('\0');
        const std::size_t wanted = nul == std::string_view::npos ? text.size() : nul;
        const std::size_t len = wanted < capacity ? wanted : capacity;
        text.copy(m_data.data(), len);
        m_data[len] = '\0';
        return len == text.size();
    }

    std::string_view view() const { return {m_data.data(), size()}; }
    std::string str() const { return std::string(view()); }
    const char* c_str() const { return m_data.data(); }
    std::size_t size() const { return std::char_traits<char>::length(m_data.data()); }
    bool empty() const { return m_data[0] == '\0'; }

    friend bool operator==(const FixedText& a, const FixedText& b) { return a.view() == b.view(); }
    friend bool operator==(const FixedText& a, std::string_view b) { return a.view() == b; }

private:
    std::array<char, N> m_data{}; // always holds a terminator
};
