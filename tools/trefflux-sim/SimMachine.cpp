#include "SimMachine.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <sstream>

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> result;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])))
            ++i;
        if (i > start)
            result.push_back(line.substr(start, i - start));
    }
    return result;
}

} // namespace

std::optional<int> tenthsOf(std::string_view decimal) {
    std::size_t i = 0;
    bool negative = false;
    if (i < decimal.size() && (decimal[i] == '-' || decimal[i] == '+'))
        negative = decimal[i++] == '-';
    long value = 0;
    bool digits = false;
    for (; i < decimal.size() && std::isdigit(static_cast<unsigned char>(decimal[i])); ++i) {
        value = value * 10 + (decimal[i] - '0');
        digits = true;
        if (value > INT_MAX / 10)
            return std::nullopt;
    }
    value *= 10;
    if (i < decimal.size() && (decimal[i] == '.' || decimal[i] == ',')) {
        ++i;
        if (i < decimal.size() && std::isdigit(static_cast<unsigned char>(decimal[i]))) {
            value += decimal[i] - '0';
            digits = true;
        }
        while (i < decimal.size() && std::isdigit(static_cast<unsigned char>(decimal[i])))
            ++i;
    }
    if (!digits || i != decimal.size())
        return std::nullopt;
    return static_cast<int>(negative ? -value : value);
}

std::optional<SimSeries> parseSeries(std::string_view line, std::string& error) {
    const auto w = words(line);
    if (w.size() < 2) {
        error = "Eine Serie braucht Scheibentyp und Teilerfaktor, z. B.: LG 1 10.4/123.4/12/-5";
        return std::nullopt;
    }
    SimSeries series;
    series.scheibentyp = std::string(w[0]);
    series.teilerfaktor = std::string(w[1]);
    for (std::size_t i = 2; i < w.size(); ++i) {
        const auto parts = split(w[i], '/');
        if (parts.size() != 2 && parts.size() != 4) {
            error = "Schuss \"" + std::string(w[i]) + "\": erwartet Ring/Teiler oder Ring/Teiler/X/Y";
            return std::nullopt;
        }
        // "?.?" and "-": a shot the machine could not score (as the Disag RM III sends it)
        if ((!tenthsOf(parts[0]) && parts[0] != "?.?") || (!tenthsOf(parts[1]) && parts[1] != "-")) {
            error = "Schuss \"" + std::string(w[i]) + "\": Ring und Teiler als Zahl, z. B. 10.4/123.4";
            return std::nullopt;
        }
        SimShot shot{std::string(parts[0]), std::string(parts[1])};
        if (parts.size() == 4) {
            shot.x = std::string(parts[2]);
            shot.y = std::string(parts[3]);
        }
        series.shots.push_back(std::move(shot));
    }
    return series;
}

std::string layoutFields(std::size_t width, const std::vector<std::pair<std::size_t, std::string>>& fields) {
    std::string out(width, ' ');
    for (std::size_t f = 0; f < fields.size(); ++f) {
        const std::size_t offset = fields[f].first;
        const std::size_t limit = f + 1 < fields.size() ? fields[f + 1].first : width;
        if (offset >= limit)
            continue;
        const std::string& text = fields[f].second;
        const std::size_t len = std::min(text.size(), limit - offset);
        out.replace(offset, len, text.substr(0, len));
        if (offset + len < limit)
            out[offset + len] = '\r';
    }
    return out;
}

void SimMachine::answerPoll(std::uint8_t start, std::uint8_t end, SimWriter& out) {
    if (m_silent)
        return;
    if (m_endlessNext > 0) {
        const std::size_t count = m_endlessNext;
        m_endlessNext = 0;
        std::string bytes(1, static_cast<char>(start));
        bytes.append(count, '#');
        out.note("Block ohne Ende gesendet (" + std::to_string(count) + " Zeichen)");
        out.send(bytes);
        return;
    }
    if (m_series.empty()) {
        out.send(std::string(1, static_cast<char>(m_idleReply)));
        return;
    }
    if (m_cutNext) {
        m_cutNext = false;
        m_silent = m_silentAfterCut;
        std::string bytes = block(start, end, m_series.front().telegram);
        bytes.resize(bytes.size() / 2);
        out.note("Block nach " + std::to_string(bytes.size()) + " Zeichen abgebrochen" +
                 (m_silent ? ", Maschine stumm" : ""));
        out.send(bytes);
        return;
    }
    sendBlock(start, end, out);
}

std::string SimMachine::block(std::uint8_t start, std::uint8_t end, const std::string& telegram) const {
    std::string bytes(1, static_cast<char>(start));
    bytes += telegram;
    bytes += static_cast<char>(end);
    bytes += trailer(telegram);
    return bytes;
}

void SimMachine::sendBlock(std::uint8_t start, std::uint8_t end, SimWriter& out) {
    const std::string& text = m_series.front().telegram;
    std::string bytes = block(start, end, text);
    std::ostringstream note;
    note << "Serie gesendet (" << m_series.front().shots << " Sch\xC3\xBCsse, " << text.size() << " Zeichen";
    if (m_damageNext > 0 && bytes.size() > text.size() + 2) {
        --m_damageNext;
        bytes[text.size() + 2] = static_cast<char>(bytes[text.size() + 2] ^ 0x01);
        note << ", Pr\xC3\xBC"
                "fzeichen falsch";
    }
    note << ")";
    out.note(note.str());
    out.send(bytes);
    m_blockSent = true;
}

void SimMachine::refused(std::uint8_t start, std::uint8_t end, SimWriter& out) {
    if (m_silent || !m_blockSent || m_series.empty())
        return;
    out.note("Serie vom Programm abgelehnt");
    sendBlock(start, end, out);
}

void SimMachine::confirmed(SimWriter& out) {
    if (!m_blockSent || m_series.empty())
        return;
    m_blockSent = false;
    m_series.pop_front();
    ++m_delivered;
    out.note("Serie vom Programm best\xC3\xA4tigt");
}
