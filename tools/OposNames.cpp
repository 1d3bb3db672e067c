// The names of OPOS numbers the device commands show, and their lookup.
#include "tools/OposNames.h"

#include "constants/OposCashConstants.h"
#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"

namespace QVO::Tools::OposNames {

namespace {

namespace Opos = QVO::Opos;

// PowerState values; the constants headers name only the StatusUpdate side of them.
constexpr int32_t kPsUnknown = 2000;
constexpr int32_t kPsOnline = 2001;
constexpr int32_t kPsOff = 2002;
constexpr int32_t kPsOffline = 2003;
constexpr int32_t kPsOffOffline = 2004;

constexpr Entry kResultCodeEntries[] = {
    {Opos::OPOS_SUCCESS, "SUCCESS"},         {Opos::OPOS_E_CLOSED, "E_CLOSED"},
    {Opos::OPOS_E_CLAIMED, "E_CLAIMED"},     {Opos::OPOS_E_NOTCLAIMED, "E_NOTCLAIMED"},
    {Opos::OPOS_E_NOSERVICE, "E_NOSERVICE"}, {Opos::OPOS_E_DISABLED, "E_DISABLED"},
    {Opos::OPOS_E_ILLEGAL, "E_ILLEGAL"},     {Opos::OPOS_E_NOHARDWARE, "E_NOHARDWARE"},
    {Opos::OPOS_E_OFFLINE, "E_OFFLINE"},     {Opos::OPOS_E_NOEXIST, "E_NOEXIST"},
    {Opos::OPOS_E_EXISTS, "E_EXISTS"},       {Opos::OPOS_E_FAILURE, "E_FAILURE"},
    {Opos::OPOS_E_TIMEOUT, "E_TIMEOUT"},     {Opos::OPOS_E_BUSY, "E_BUSY"},
    {Opos::OPOS_E_EXTENDED, "E_EXTENDED"},   {Opos::OPOS_E_DEPRECATED, "E_DEPRECATED"},
};

constexpr Entry kOpenResultEntries[] = {
    {Opos::OPOS_SUCCESS, "SUCCESS"},
    {Opos::OPOS_OR_ALREADYOPEN, "OR_ALREADYOPEN", "the control is already open"},
    {Opos::OPOS_OR_REGBADNAME, "OR_REGBADNAME", "no device entry of that name"},
    {Opos::OPOS_OR_REGPROGID, "OR_REGPROGID", "the entry's ProgID is missing or not registered"},
    {Opos::OPOS_OR_CREATE, "OR_CREATE", "the service object could not be created"},
    {Opos::OPOS_OR_BADIF, "OR_BADIF", "the service object lacks required methods"},
    {Opos::OPOS_OR_FAILEDOPEN, "OR_FAILEDOPEN", "the service object refused to open"},
    {Opos::OPOS_OR_BADVERSION, "OR_BADVERSION", "the service object's major version does not match"},
    {Opos::OPOS_ORS_NOPORT, "ORS_NOPORT", "the port could not be opened"},
    {Opos::OPOS_ORS_NOTSUPPORTED, "ORS_NOTSUPPORTED", "the device is not supported"},
    {Opos::OPOS_ORS_CONFIG, "ORS_CONFIG", "the device entry is incomplete or wrong"},
    {Opos::OPOS_ORS_SPECIFIC, "ORS_SPECIFIC", "the service object's own reason"},
};

constexpr Entry kPrinterExtendedEntries[] = {
    {Opos::OPOS_EPTR_COVER_OPEN, "COVER_OPEN"}, {Opos::OPOS_EPTR_JRN_EMPTY, "JRN_EMPTY"},
    {Opos::OPOS_EPTR_REC_EMPTY, "REC_EMPTY"},   {Opos::OPOS_EPTR_SLP_EMPTY, "SLP_EMPTY"},
    {Opos::OPOS_EPTR_SLP_FORM, "SLP_FORM"},     {Opos::OPOS_EPTR_TOOBIG, "TOOBIG"},
    {Opos::OPOS_EPTR_BADFORMAT, "BADFORMAT"},
};

constexpr Entry kStateEntries[] = {
    {Opos::OPOS_S_CLOSED, "CLOSED"},
    {Opos::OPOS_S_IDLE, "IDLE"},
    {Opos::OPOS_S_BUSY, "BUSY"},
    {Opos::OPOS_S_ERROR, "ERROR"},
};

constexpr Entry kPowerStateEntries[] = {
    {kPsUnknown, "UNKNOWN"}, {kPsOnline, "ONLINE"},          {kPsOff, "OFF"},
    {kPsOffline, "OFFLINE"}, {kPsOffOffline, "OFF_OFFLINE"},
};

constexpr Entry kPowerUpdateEntries[] = {
    {Opos::OPOS_SUE_POWER_ONLINE, "POWER_ONLINE"},
    {Opos::OPOS_SUE_POWER_OFF, "POWER_OFF"},
    {Opos::OPOS_SUE_POWER_OFFLINE, "POWER_OFFLINE"},
    {Opos::OPOS_SUE_POWER_OFF_OFFLINE, "POWER_OFF_OFFLINE"},
};

constexpr Entry kPrinterUpdateEntries[] = {
    {Opos::PTR_SUE_COVER_OPEN, "COVER_OPEN"},       {Opos::PTR_SUE_COVER_OK, "COVER_OK"},
    {Opos::PTR_SUE_JRN_EMPTY, "JRN_EMPTY"},         {Opos::PTR_SUE_JRN_NEAREMPTY, "JRN_NEAREMPTY"},
    {Opos::PTR_SUE_JRN_PAPEROK, "JRN_PAPEROK"},     {Opos::PTR_SUE_REC_EMPTY, "REC_EMPTY"},
    {Opos::PTR_SUE_REC_NEAREMPTY, "REC_NEAREMPTY"}, {Opos::PTR_SUE_REC_PAPEROK, "REC_PAPEROK"},
    {Opos::PTR_SUE_SLP_EMPTY, "SLP_EMPTY"},         {Opos::PTR_SUE_SLP_NEAREMPTY, "SLP_NEAREMPTY"},
    {Opos::PTR_SUE_SLP_PAPEROK, "SLP_PAPEROK"},     {Opos::PTR_SUE_REC_COVER_OPEN, "REC_COVER_OPEN"},
    {Opos::PTR_SUE_REC_COVER_OK, "REC_COVER_OK"},   {Opos::PTR_SUE_IDLE, "IDLE"},
};

constexpr Entry kDrawerUpdateEntries[] = {
    {Opos::CASH_SUE_DRAWERCLOSED, "DRAWERCLOSED"},
    {Opos::CASH_SUE_DRAWEROPEN, "DRAWEROPEN"},
};

constexpr Entry kLocusEntries[] = {
    {Opos::OPOS_EL_OUTPUT, "OUTPUT"}, {Opos::OPOS_EL_INPUT, "INPUT"}, {Opos::OPOS_EL_INPUT_DATA, "INPUT_DATA"}};
constexpr Entry kResponseEntries[] = {
    {Opos::OPOS_ER_RETRY, "RETRY"}, {Opos::OPOS_ER_CLEAR, "CLEAR"}, {Opos::OPOS_ER_CONTINUEINPUT, "CONTINUEINPUT"}};

}  // namespace

const Table kResultCodes{"OPOS_", kResultCodeEntries};
const Table kOpenResults{"OPOS_", kOpenResultEntries};
const Table kPrinterExtended{"OPOS_EPTR_", kPrinterExtendedEntries};
const Table kStates{"OPOS_S_", kStateEntries};
const Table kPowerStates{"OPOS_PS_", kPowerStateEntries};
const Table kPowerUpdates{"OPOS_SUE_", kPowerUpdateEntries};
const Table kPrinterUpdates{"PTR_SUE_", kPrinterUpdateEntries};
const Table kDrawerUpdates{"CASH_SUE_", kDrawerUpdateEntries};
const Table kLoci{"OPOS_EL_", kLocusEntries};
const Table kResponses{"OPOS_ER_", kResponseEntries};

const Entry* Find(const Table& table, int32_t value) {
    for (const Entry& e : table.entries)
        if (e.value == value) return &e;
    return nullptr;
}

std::string Decoded(const Table* table, int32_t value) {
    std::string text = std::to_string(value);
    const Entry* e = table ? Find(*table, value) : nullptr;
    if (!e) return text;
    text += std::string(" ") + e->name;
    if (e->description) text += std::string(": ") + e->description;
    return text;
}

std::string FullName(const Table* table, int32_t value) {
    const Entry* e = table ? Find(*table, value) : nullptr;
    return e ? std::string(table->prefix) + e->name : std::string();
}

const Table* StatusUpdateTable(int32_t data, bool drawer) {
    const Table& own = drawer ? kDrawerUpdates : kPrinterUpdates;
    if (Find(own, data)) return &own;
    return Find(kPowerUpdates, data) ? &kPowerUpdates : nullptr;
}

const Table* ExtendedTable(int32_t resultCode, bool drawer) {
    return resultCode == Opos::OPOS_E_EXTENDED && !drawer ? &kPrinterExtended : nullptr;
}

}  // namespace QVO::Tools::OposNames
