#pragma once

// Reads the transmission log as it grows, for a window that shows it live: at each look the
// complete lines written since the last one. A look that starts at the beginning of the file
// (the first one, and after the file was rotated away and begun anew) gives only its last lines,
// as many as the window keeps.

#include <cstdint>
#include <string>

class Lognachleser {
public:
    Lognachleser(std::string pfad, int zeilen) : m_pfad(std::move(pfad)), m_zeilen(zeilen) {}

    const std::string& pfad() const { return m_pfad; }
    // The complete lines (each with its "\n") that came since the last look; empty when none
    // did or the file cannot be read (not written yet).
    std::string neueZeilen();
    // The next look starts again at the beginning of the file.
    void vonVorn();

private:
    std::string m_pfad;
    int m_zeilen;
    std::int64_t m_gelesen = 0; // bytes of the file read so far
    std::string m_rest;         // a line not yet complete
};
