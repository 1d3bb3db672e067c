// The decoder's vocabulary: which selector bytes are which command, and how bytes read.
#pragma once

#include "sim/Command.h"

#include <cstdint>
#include <string>

namespace QVO::Sim::EscPosTables {

// A fixed-length command: the parameter layout is a string of 'b' (byte) and 'w' (nL nH).
struct FixedForm {
    uint8_t selector;
    const char* layout;
    Op op;
};

// The fixed form of ESC, GS or FS `selector`, or null when the command has another shape
// (or is unknown).
const FixedForm* FindFixedForm(uint8_t lead, uint8_t selector);

std::string LeadName(uint8_t lead);      // "ESC", "GS", "FS", "DLE"
std::string SelectorName(uint8_t byte);  // "a", "LF", "SP", "0xFE"
Op ControlOp(uint8_t byte);              // a single control byte
Op GsParenOp(uint8_t selector);          // GS ( E / K / N and other one-function forms
Op SymbolOp(int cn, int fn);             // GS ( k
Op GraphicsOp(int fn);                   // GS ( L and GS 8 L

}  // namespace QVO::Sim::EscPosTables
