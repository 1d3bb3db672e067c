// The names of OPOS numbers the device commands show: result codes, open results, states,
// power states, status updates, error loci and responses. A table keeps the short name
// ("COVER_OPEN", for the human lines) and the prefix that makes the constant's own name
// ("PTR_SUE_COVER_OPEN", for the JSON lines). Tables are constant; safe from any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace QVO::Tools::OposNames {

struct Entry {
    int32_t value;
    const char* name;
    const char* description = nullptr;  // a few words for the human lines, when it helps
};

struct Table {
    const char* prefix;
    std::span<const Entry> entries;
};

extern const Table kResultCodes;      // OPOS_SUCCESS, OPOS_E_...
extern const Table kOpenResults;      // OPOS_OR_..., OPOS_ORS_...
extern const Table kPrinterExtended;  // OPOS_EPTR_...
extern const Table kStates;           // OPOS_S_...
extern const Table kPowerStates;      // OPOS_PS_...
extern const Table kPowerUpdates;     // OPOS_SUE_POWER_...
extern const Table kPrinterUpdates;   // PTR_SUE_...
extern const Table kDrawerUpdates;    // CASH_SUE_...
extern const Table kLoci;             // OPOS_EL_...
extern const Table kResponses;        // OPOS_ER_...

// The entry of `value`, or nullptr.
const Entry* Find(const Table& table, int32_t value);

// "11 COVER_OPEN" (": description" added when the entry has one), or the bare number.
std::string Decoded(const Table* table, int32_t value);
// "PTR_SUE_COVER_OPEN", or empty when the value has no name.
std::string FullName(const Table* table, int32_t value);

// The table that names a StatusUpdate value of a printer or drawer (the power updates are
// shared), or nullptr when none does.
const Table* StatusUpdateTable(int32_t data, bool drawer);
// The table that names a ResultCodeExtended: only a printer's OPOS_E_EXTENDED has names here.
const Table* ExtendedTable(int32_t resultCode, bool drawer);

}  // namespace QVO::Tools::OposNames
