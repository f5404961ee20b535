#include "SimCommands.h"

#include "SimTalker.h"

#include <charconv>
#include <random>

const char* const SimCommandHelp =
    "  LG 1 10.4/123.4/12/-5 9.7/5.0/0/3\n"
    "                 eine Serie: Scheibentyp, Teilerfaktor, dann je Schuss\n"
    "                 Ring/Teiler/X/Y (X und Y d\xC3\xBCrfen fehlen, dann 0)\n"
    "                 Disag RM III (FERN): Ring ?.? oder Teiler - f\xC3\xBCr einen Schuss,\n"
    "                 den die Maschine nicht werten konnte\n"
    "  stumm          die Maschine antwortet nicht mehr (wie ausgeschaltet)\n"
    "  antwort        die Maschine antwortet wieder\n"
    "  muell N        schickt sofort N zuf\xC3\xA4llige Zeichen (St\xC3\xB6rung auf der Leitung)\n"
    "  abbruch        die n\xC3\xA4"
    "chste Serie bricht nach der H\xC3\xA4lfte ab, danach ist die\n"
    "                 Maschine stumm (wie ein gezogenes Kabel mitten in der \xC3\x9C"
    "bertragung); Disag: die Serie endet vor \"WSE\"\n"
    "  ohne-ende N    der n\xC3\xA4"
    "chste Block hat N Zeichen und kein Ende-Zeichen\n"
    "  leer XX        das Zeichen (hexadezimal), mit dem die Maschine meldet, dass\n"
    "                 keine Serie wartet (SAM: 15 oder 06, Rika: 00)\n"
    "  dsr aus        schaltet die Leitung DTR der Maschine aus, die Trefflux als DSR sieht\n"
    "                 (nur an einer echten Schnittstelle; Disag RM3: nach 15 s meldet Trefflux\n"
    "                 die Maschine als nicht gefunden)\n"
    "  dsr ein        schaltet sie wieder ein\n"
    "  warte MS       (nur in einer Datei) MS Millisekunden warten\n"
    "  ende           trefflux-sim beenden\n"
    "  Leere Zeilen und Zeilen, die mit # beginnen, werden \xC3\xBC"
    "bergangen.\n";

namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() &&
           (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

bool number(std::string_view text, std::size_t& value, int base = 10) {
    text = trim(text);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

} // namespace

SimCommand parseSimCommand(std::string_view line) {
    line = trim(line);
    SimCommand command;
    if (line.empty() || line.front() == '#')
        return command;
    const std::size_t space = line.find(' ');
    const std::string_view word = line.substr(0, space);
    const std::string_view rest =
        space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    const auto withNumber = [&](SimCommand::Kind kind, const char* what, int base = 10) {
        if (!number(rest, command.count, base)) {
            command.kind = SimCommand::Invalid;
            command.error = std::string(word) + " braucht " + what;
        } else {
            command.kind = kind;
        }
        return command;
    };
    if (word == "stumm" || word == "silent") {
        command.kind = SimCommand::Silent;
    } else if (word == "antwort" || word == "talk") {
        command.kind = SimCommand::Talk;
    } else if (word == "abbruch" || word == "cut") {
        command.kind = SimCommand::Cut;
    } else if (word == "ende" || word == "quit") {
        command.kind = SimCommand::Quit;
    } else if (word == "muell" || word == "garbage") {
        return withNumber(SimCommand::Garbage, "eine Anzahl Zeichen, z. B.: muell 20");
    } else if (word == "ohne-ende" || word == "endless") {
        return withNumber(SimCommand::Endless, "eine Anzahl Zeichen, z. B.: ohne-ende 70000");
    } else if (word == "leer" || word == "idle") {
        withNumber(SimCommand::Reply, "ein Zeichen hexadezimal, z. B.: leer 15", 16);
        if (command.kind == SimCommand::Reply && command.count > 0xFF) {
            command.kind = SimCommand::Invalid;
            command.error = "leer: ein Zeichen ist 00 bis FF";
        }
    } else if (word == "dsr") {
        const std::string_view state = trim(rest);
        if (state == "ein" || state == "on") {
            command.kind = SimCommand::DsrOn;
        } else if (state == "aus" || state == "off") {
            command.kind = SimCommand::DsrOff;
        } else {
            command.kind = SimCommand::Invalid;
            command.error = "dsr braucht ein oder aus, z. B.: dsr aus";
        }
    } else if (word == "warte" || word == "wait") {
        withNumber(SimCommand::Wait, "Millisekunden, z. B.: warte 500");
        command.wait = std::chrono::milliseconds(command.count);
    } else if (auto series = parseSeries(line, command.error)) {
        command.kind = SimCommand::Series;
        command.series = std::move(*series);
    } else {
        command.kind = SimCommand::Invalid;
    }
    return command;
}

void applySimCommand(SimLine& line, const SimCommand& command) {
    switch (command.kind) {
    case SimCommand::Series:
        line.post([series = command.series](SimMachine& machine, SimWriter& out) {
            if (auto* talker = dynamic_cast<SimTalker*>(&machine)) {
                talker->queueSeries(series);
                out.note("Serie wartet");
                return;
            }
            machine.queue(series);
            out.note("Serie wartet (" + std::to_string(machine.queued()) + " in der Warteschlange)");
        });
        break;
    case SimCommand::Silent:
        line.post([](SimMachine& machine, SimWriter& out) {
            machine.setSilent(true);
            out.note("Maschine stumm");
        });
        break;
    case SimCommand::Talk:
        line.post([](SimMachine& machine, SimWriter& out) {
            machine.setSilent(false);
            out.note("Maschine antwortet wieder");
        });
        break;
    case SimCommand::Garbage:
        line.post([count = command.count](SimMachine&, SimWriter& out) {
            static std::mt19937 random(12345);
            std::string bytes(count, '\0');
            for (char& c : bytes)
                c = static_cast<char>(random() & 0xFF);
            out.note(std::to_string(count) + " zuf\xC3\xA4llige Zeichen");
            out.send(bytes);
        });
        break;
    case SimCommand::Cut:
        line.post([](SimMachine& machine, SimWriter&) { machine.cutNextBlock(); });
        break;
    case SimCommand::Endless:
        line.post(
            [count = command.count](SimMachine& machine, SimWriter&) { machine.endlessNextBlock(count); });
        break;
    case SimCommand::Reply:
        line.post([byte = command.count](SimMachine& machine, SimWriter&) {
            machine.setIdleReply(static_cast<std::uint8_t>(byte));
        });
        break;
    case SimCommand::DsrOn:
    case SimCommand::DsrOff:
        line.post([on = command.kind == SimCommand::DsrOn](SimMachine&, SimWriter& out) {
            std::string error;
            if (!simSetDtr(static_cast<SimLine&>(out).portName(), on, error))
                out.note("DSR nicht geschaltet: " + error);
            else
                out.note(on ? "DSR ein" : "DSR aus");
        });
        break;
    default:
        break;
    }
}
