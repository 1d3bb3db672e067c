// The identities the virtual printer offers by name, and what follows from an identity.
#include "sim/PrinterState.h"

#include <cmath>

namespace QVO::Sim {

PrinterIdentity PrinterIdentity::ForModel(const std::string& name) {
    PrinterIdentity id;
    id.modelName = name;
    if (name == "TM-T88IV") return id;  // the defaults describe it
    // The common 80 mm geometry: 0.125 mm dots, 576 printable.
    id.dotMm = 0.125;
    id.unitMm = 0.0625;
    id.printWidthDots = 576;
    if (name.rfind("RX4270", 0) == 0) {
        id.framed = true;
        id.cutter = false;
        id.multiByte = true;
        id.firmware = "1.52";
        id.modelId = 0x42;
    }
    return id;
}

int LineSpacingUnits(const PrinterIdentity& identity, const PrinterState& state) {
    constexpr double kMmPerInch = 25.4, kDefaultLinesPerInch = 6.0;
    if (state.lineSpacing >= 0) return state.lineSpacing;
    return int(std::lround(kMmPerInch / kDefaultLinesPerInch / identity.unitMm));
}

}  // namespace QVO::Sim
