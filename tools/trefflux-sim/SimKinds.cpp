#include "SimKinds.h"

#include "DisagMachine.h"
#include "DisagRm3FernMachine.h"
#include "RikaMachine.h"
#include "SamMachine.h"

const std::vector<SimKind>& simKinds() {
    static const std::vector<SimKind> kinds = {
        {"sam", "SAM 4000", 9600, "Ringlesemaschine \"Sam 4000\"",
         [] { return std::unique_ptr<SimMachine>(new SamMachine); }},
        {"rika", "Rika SAG-1", 9600, "Ringlesemaschine \"Rika SAG-1\"",
         [] { return std::unique_ptr<SimMachine>(new RikaMachine); }},
        {"disag", "Disag RM II/III/IV (Fernsteuerung, Anzeige FEr)", 38400,
         "Ringlesemaschine \"Disag RM II/III/IV\"",
         [] { return std::unique_ptr<SimMachine>(new DisagMachine); }},
        {"rm3", "Disag RM III (FERN)", 2400, "Ringlesemaschine \"Disag RM III (FERN)\"",
         [] { return std::unique_ptr<SimMachine>(new DisagRm3FernMachine); }},
    };
    return kinds;
}

const SimKind* findSimKind(std::string_view name) {
    for (const SimKind& kind : simKinds())
        if (name == kind.name)
            return &kind;
    return nullptr;
}
