#pragma once

// A stand-in scoring machine: what it answers to the bytes the program sends, and the series it
// has waiting. One subclass per machine kind (SamMachine, RikaMachine, ...). A machine is only
// ever used on its line's thread (SimLine), so it needs no locking.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One shot as the user gives it: ring value and divisor as decimal numbers with a point
// ("10.4", "123.4"), X and Y as the machine prints them.
struct SimShot {
    std::string ring;
    std::string teiler;
    std::string x = "0";
    std::string y = "0";
};

// One series: target type, divisor factor, shots.
struct SimSeries {
    std::string scheibentyp;
    std::string teilerfaktor;
    std::vector<SimShot> shots;
};

// Reads "LG 1 10.4/123.4/12/-5 9.7/5.0" (target type, divisor factor, then one
// ring/divisor[/x/y] per shot). On a mistake returns nothing and says why in error.
std::optional<SimSeries> parseSeries(std::string_view line, std::string& error);

// "10.4" -> 104, "9.7" -> 97, "5" -> 50, "-0.5" -> -5: a decimal number in whole tenths
// (further decimals dropped). Nothing when the text is not a number.
std::optional<int> tenthsOf(std::string_view decimal);

// Lays out a fixed-width piece of a telegram: blanks, with each text at its offset followed by
// a CR (the machine's field end) where there is room before the next field or the end.
std::string layoutFields(std::size_t width, const std::vector<std::pair<std::size_t, std::string>>& fields);

// Where a machine's answers go.
class SimWriter {
public:
    virtual ~SimWriter() = default;
    virtual void send(std::string_view bytes) = 0;
    // A line for the log ("Serie gesendet", "Einstellung S010").
    virtual void note(const std::string& text) = 0;
};

class SimMachine {
public:
    virtual ~SimMachine() = default;

    // A byte that the program sent.
    virtual void received(std::uint8_t byte, SimWriter& out) = 0;
    // The text of a series as this machine sends it between its start and end byte.
    virtual std::string telegram(const SimSeries& series) const = 0;
    // The bytes that follow the end byte of a block (the SAM's check byte and "$").
    virtual std::string trailer(const std::string& telegram) const = 0;
    // A block on the line: start byte, telegram, end byte, trailer.
    std::string block(std::uint8_t start, std::uint8_t end, const std::string& telegram) const;

    // --- behaviour on request (from the command line, a script or a test)
    void queue(const SimSeries& series) { m_series.push_back({telegram(series), series.shots.size()}); }
    // A telegram text of the caller's own making (for trying out odd blocks).
    void queueTelegram(std::string text) { m_series.push_back({std::move(text), 0}); }
    std::size_t queued() const { return m_series.size(); }
    std::size_t delivered() const { return m_delivered; }
    // A silent machine answers nothing at all.
    void setSilent(bool silent) { m_silent = silent; }
    bool silent() const { return m_silent; }
    // The byte that answers a poll when no series is waiting.
    void setIdleReply(std::uint8_t byte) { m_idleReply = byte; }
    std::uint8_t idleReply() const { return m_idleReply; }
    // The next block breaks off after half of its bytes; the machine then falls silent (as with
    // a pulled cable) or, without silentAfter, answers the next poll as usual and offers the
    // block again (as after a reset).
    void cutNextBlock(bool silentAfter = true) {
        m_cutNext = true;
        m_silentAfterCut = silentAfter;
    }
    // The next count copies of blocks that go out carry a wrong check byte (the first byte after
    // the end byte), as if damaged on the line.
    void damageNextChecks(std::size_t count) { m_damageNext = count; }
    // The next block is its start byte and count filler bytes, without an end byte.
    void endlessNextBlock(std::size_t count) { m_endlessNext = count; }

protected:
    explicit SimMachine(std::uint8_t idleReply) : m_idleReply(idleReply) {}

    // For a machine that sends a series line by line: whether a break-off is asked for, and
    // carrying it out (silent afterwards, if asked so).
    bool cutRequested() const { return m_cutNext; }
    void cutDone() {
        m_cutNext = false;
        m_silent = m_silentAfterCut;
    }

    // Answers a poll: the first waiting series framed by start and end byte and the trailer,
    // or the idle reply; honours silence and the requests above.
    void answerPoll(std::uint8_t start, std::uint8_t end, SimWriter& out);
    // The program confirmed the block: the first series is delivered.
    void confirmed(SimWriter& out);
    // The program refused the copy it got (NAK): the same block goes out again at once.
    void refused(std::uint8_t start, std::uint8_t end, SimWriter& out);

private:
    // Sends a whole block, its check byte damaged while damageNextChecks asks for it.
    void sendBlock(std::uint8_t start, std::uint8_t end, SimWriter& out);

    struct Waiting {
        std::string telegram;
        std::size_t shots;
    };
    std::deque<Waiting> m_series;
    std::size_t m_delivered = 0;
    bool m_silent = false;
    std::uint8_t m_idleReply;
    bool m_cutNext = false;
    bool m_silentAfterCut = true;
    std::size_t m_damageNext = 0;
    std::size_t m_endlessNext = 0;
    bool m_blockSent = false;
};
