// Writes a configuration file with one or more profiles. Every field not given is zero, as in a
// profile record of zero bytes; lists of elements are filled up with -1 (no element).
//
//   trefflux-profil FILE --name NAME [FIELD VALUE]... [--name NAME [FIELD VALUE]...]...
//
// Each --name starts a profile. Fields: --port, --machine (number), --tenths, --separators
// (three numbers), --elements and --record (up to six element numbers), --file (protocol
// file), --mode (0 all records, 1 only one), --warn, --header, --shots, --strip-shots,
// --strip-text, --divisor-limit. Lists are separated by commas.
#include "ConfigFile.h"
#include "Profil.h"
#include "Profilliste.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

int32_t zahl(const std::string& option, const std::string& wert) {
    std::size_t gelesen = 0;
    long n = 0;
    try {
        n = std::stol(wert, &gelesen);
    } catch (const std::exception&) {
        gelesen = 0;
    }
    if (gelesen != wert.size() || n < INT32_MIN || n > INT32_MAX)
        throw std::runtime_error(option + ": not a number: \"" + wert + "\"");
    return static_cast<int32_t>(n);
}

std::vector<int32_t> liste(const std::string& option, const std::string& wert, std::size_t hoechstens) {
    std::vector<int32_t> zahlen;
    std::stringstream teile(wert);
    for (std::string teil; std::getline(teile, teil, ',');)
        zahlen.push_back(zahl(option, teil));
    if (zahlen.size() > hoechstens)
        throw std::runtime_error(option + ": at most " + std::to_string(hoechstens) + " numbers");
    return zahlen;
}

template <std::size_t N>
void elemente(std::array<int8_t, N>& feld, const std::string& option, const std::string& wert) {
    feld.fill(-1);
    const std::vector<int32_t> zahlen = liste(option, wert, N);
    for (std::size_t i = 0; i < zahlen.size(); ++i) {
        if (zahlen[i] < -1 || zahlen[i] > 127)
            throw std::runtime_error(option + ": no element number: " + std::to_string(zahlen[i]));
        feld[i] = static_cast<int8_t>(zahlen[i]);
    }
}

template <std::size_t N>
void textfeld(Profil::Text<N>& feld, const std::string& option, const std::string& wert) {
    if (!setText(feld, wert))
        throw std::runtime_error(option + ": does not fit (" + std::to_string(N) + " bytes): \"" + wert +
                                 "\"");
}

void setze(Profil& p, const std::string& option, const std::string& wert) {
    if (option == "--port")
        textfeld(p.Port, option, wert);
    else if (option == "--machine")
        p.Maschine = zahl(option, wert);
    else if (option == "--tenths")
        p.Zehntelringe = zahl(option, wert);
    else if (option == "--separators") {
        const std::vector<int32_t> z = liste(option, wert, 3);
        if (z.size() != 3)
            throw std::runtime_error(option + ": three numbers");
        std::copy(z.begin(), z.end(), p.Trennzeichen.begin());
    } else if (option == "--elements")
        elemente(p.Elemente, option, wert);
    else if (option == "--record")
        elemente(p.Datensatz, option, wert);
    else if (option == "--file")
        textfeld(p.Dateiname, option, wert);
    else if (option == "--mode")
        p.Dateimodus = zahl(option, wert);
    else if (option == "--warn")
        p.Warnen = zahl(option, wert) != 0 ? 1 : 0;
    else if (option == "--header")
        p.Header = static_cast<uint8_t>(zahl(option, wert) != 0);
    else if (option == "--shots")
        p.Gesamtschusszahl = zahl(option, wert);
    else if (option == "--strip-shots")
        p.Scheibenschusszahl = zahl(option, wert);
    else if (option == "--strip-text")
        textfeld(p.Scheibentext, option, wert);
    else if (option == "--divisor-limit")
        p.Teilergrenze = zahl(option, wert);
    else
        throw std::runtime_error("unknown option " + option);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < 3 || args[0].rfind("--", 0) == 0 || args[1] != "--name") {
        std::cerr << "usage: trefflux-profil FILE --name NAME [--port P] [--machine N] [--tenths 0|1]\n"
                     "         [--separators A,B,C] [--elements LIST] [--record LIST] [--file PATH]\n"
                     "         [--mode 0|1] [--warn 0|1] [--header 0|1] [--shots N] [--strip-shots N] "
                     "[--strip-text T]\n"
                     "         [--divisor-limit N] [--name NAME ...]...\n";
        return 2;
    }
    try {
        Profilliste profile;
        std::vector<Profil> neu;
        for (std::size_t i = 1; i < args.size(); i += 2) {
            if (i + 1 >= args.size())
                throw std::runtime_error(args[i] + ": value missing");
            if (args[i] == "--name") {
                neu.emplace_back();
                textfeld(neu.back().Name, args[i], args[i + 1]);
            } else {
                setze(neu.back(), args[i], args[i + 1]);
            }
        }
        for (const Profil& p : neu)
            profile.append(p);
        const ConfigFile::SaveResult r = ConfigFile::Save(args[0], profile);
        if (!r.ok) {
            std::cerr << "trefflux-profil: " << args[0] << ": " << r.error << "\n";
            return 1;
        }
    } catch (const std::exception& e) {
        std::cerr << "trefflux-profil: " << e.what() << "\n";
        return 2;
    }
    return 0;
}
