#pragma once

#include "SimMachine.h"
#include "SimTalker.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A Disag RM II/III/IV in remote mode. The machine sends text lines on its own, each followed by
// its check character and CR, one at a time: it waits for the program's ACK before the next line,
// sends a line again at once on NAK, and after a command when the program did not take it. A
// series is "STA", one "SCH=" line per shot (or per group of shots, see setShotsPerLine),
// "WSC=-k" when a shot needs review (k: the shots of the last line), and "WSE". Rings go out
// whole or with tenths, as the last settings string asked ("RIA=GR" whole, tenths before any).
//
// The program sends commands with a handshake: ENQ, the machine answers STX (or the idle reply,
// e.g. NAK, when it is set to something else), then the text, its check character and CR, which
// the machine acknowledges with ACK (NAK when the check character is wrong). "TYP" is answered
// with "TYP=" and the model name; an answer to a review request ("EDI=" n ";" k and n "S=" lines)
// lets the machine go on with the series.
//
// Lines are numbered as the machine sends them, from 1, the answer to "TYP" included; a line sent
// again keeps its number. damageLine() makes chosen lines arrive damaged.
class DisagMachine : public SimMachine, public SimTalker {
public:
    DisagMachine();

    void received(std::uint8_t byte, SimWriter& out) override;
    // The lines of the series joined, each with check character and CR.
    std::string telegram(const SimSeries& series) const override;
    std::string trailer(const std::string&) const override { return {}; }

    // The lines of a series as the machine would send them now. A shot with ring value 0 is one
    // the machine could not score: its flag is 'K' (check by hand), and the series asks for
    // review ("WSC=-k") before its end.
    std::vector<std::string> seriesLines(const SimSeries& series) const;
    // The check character of a text: XOR of its bytes, raised by 32 when below 32.
    static std::uint8_t checkChar(std::string_view text);

    void queueSeries(const SimSeries& series) override;
    void talk(SimWriter& out) override { sendNext(out); }

    // Queues lines to send (without check character and CR) and starts sending if idle.
    void sendLines(const std::vector<std::string>& lines, SimWriter& out);
    // Sends bytes as they are, at once (for broken or odd lines).
    void sendRaw(std::string_view bytes, SimWriter& out);

    void setModel(std::string model) { m_model = std::move(model); }
    // Up to this many shots of a series go into one line, as on a target with several shots.
    void setShotsPerLine(std::size_t shots) { m_shotsPerLine = shots > 0 ? shots : 1; }
    // The line with this number goes out damaged (one character of its text changed, the check
    // character left) the next copies times; each NAK brings the next copy.
    void damageLine(std::size_t number, std::size_t copies = 1) { m_damage[number] += copies; }
    bool wholeRings() const { return m_wholeRings; }

    // What the program did so far.
    const std::vector<std::string>& commands() const { return m_commands; } // acknowledged commands
    std::size_t acknowledgedLines() const { return m_acknowledged; }
    std::size_t unexpectedAcks() const { return m_unexpectedAcks; }
    std::size_t enquiries() const { return m_enquiries; }
    std::size_t repeatedLines() const { return m_repeated; }
    std::size_t badCommands() const { return m_badCommands; }
    std::size_t refusedLines() const { return m_refused; } // NAKs for lines
    // Lines waiting to be sent or acknowledged.
    bool idle() const { return m_out.empty() && !m_waitingAck && !m_editPending; }

private:
    void sendNext(SimWriter& out);
    void commandEnd(SimWriter& out);
    void handleCommand(const std::string& text, SimWriter& out);
    std::string frame(const std::string& line) const;
    // Sends a line with its number, damaged while damageLine asks for it.
    void transmit(const std::string& line, std::size_t number, SimWriter& out);

    // A line waiting to be sent, or a series whose lines are made when its turn comes.
    struct Waiting {
        std::string line;
        std::optional<SimSeries> series;
    };

    std::string m_model = "RM III";
    bool m_wholeRings = false;
    std::size_t m_shotsPerLine = 1;
    std::map<std::size_t, std::size_t> m_damage; // line number: damaged copies still to send
    std::size_t m_lines = 0;                     // numbers given so far
    std::deque<Waiting> m_out;
    std::string m_current; // the line sent last, until acknowledged
    std::size_t m_currentNumber = 0;
    bool m_waitingAck = false; // for m_current
    bool m_inCommand = false;  // after STX, until CR
    std::string m_command;
    bool m_editPending = false; // "WSC=-" was taken: waiting for the program's answer
    std::size_t m_editLines = 0;
    bool m_replyAckDue = false; // the program acknowledges the "TYP" answer
    std::string m_reply;
    std::size_t m_replyNumber = 0;

    std::vector<std::string> m_commands;
    std::size_t m_acknowledged = 0;
    std::size_t m_unexpectedAcks = 0;
    std::size_t m_enquiries = 0;
    std::size_t m_repeated = 0;
    std::size_t m_badCommands = 0;
    std::size_t m_refused = 0;
};
