// What follows from an identity for the command state: the default line spacing.
#include "sim/PrinterState.h"

#include <cmath>

namespace QVO::Sim {

int LineSpacingUnits(const PrinterIdentity& identity, const PrinterState& state) {
    constexpr double kMmPerInch = 25.4, kDefaultLinesPerInch = 6.0;
    if (state.lineSpacing >= 0) return state.lineSpacing;
    return int(std::lround(kMmPerInch / kDefaultLinesPerInch / identity.unitMm));
}

}  // namespace QVO::Sim
