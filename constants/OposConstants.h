// The common OPOS constants: result codes, open results, states, error loci and responses,
// status-update values and the common property indices. Standard OPOS values.
#pragma once

#include <cstdint>

namespace QVO::Opos {

// Result codes.
constexpr int32_t OPOS_SUCCESS = 0;
constexpr int32_t OPOS_E_CLOSED = 101;
constexpr int32_t OPOS_E_CLAIMED = 102;
constexpr int32_t OPOS_E_NOTCLAIMED = 103;
constexpr int32_t OPOS_E_NOSERVICE = 104;
constexpr int32_t OPOS_E_DISABLED = 105;
constexpr int32_t OPOS_E_ILLEGAL = 106;
constexpr int32_t OPOS_E_NOHARDWARE = 107;
constexpr int32_t OPOS_E_OFFLINE = 108;
constexpr int32_t OPOS_E_NOEXIST = 109;
constexpr int32_t OPOS_E_EXISTS = 110;
constexpr int32_t OPOS_E_FAILURE = 111;
constexpr int32_t OPOS_E_TIMEOUT = 112;
constexpr int32_t OPOS_E_BUSY = 113;
constexpr int32_t OPOS_E_EXTENDED = 114;
constexpr int32_t OPOS_E_DEPRECATED = 115;

// Open results set by a control object.
constexpr int32_t OPOS_OR_ALREADYOPEN = 301;
constexpr int32_t OPOS_OR_REGBADNAME = 302;
constexpr int32_t OPOS_OR_REGPROGID = 303;
constexpr int32_t OPOS_OR_CREATE = 304;
constexpr int32_t OPOS_OR_BADIF = 305;
constexpr int32_t OPOS_OR_FAILEDOPEN = 306;
constexpr int32_t OPOS_OR_BADVERSION = 307;
// Open results set by a service object.
constexpr int32_t OPOS_ORS_NOPORT = 401;
constexpr int32_t OPOS_ORS_NOTSUPPORTED = 402;
constexpr int32_t OPOS_ORS_CONFIG = 403;
constexpr int32_t OPOS_ORS_SPECIFIC = 450;

// Device states.
constexpr int32_t OPOS_S_CLOSED = 1;
constexpr int32_t OPOS_S_IDLE = 2;
constexpr int32_t OPOS_S_BUSY = 3;
constexpr int32_t OPOS_S_ERROR = 4;

// Error loci and responses.
constexpr int32_t OPOS_EL_OUTPUT = 1;
constexpr int32_t OPOS_EL_INPUT = 2;
constexpr int32_t OPOS_EL_INPUT_DATA = 3;
constexpr int32_t OPOS_ER_RETRY = 11;
constexpr int32_t OPOS_ER_CLEAR = 12;
constexpr int32_t OPOS_ER_CONTINUEINPUT = 13;

// Power reporting.
constexpr int32_t OPOS_PR_NONE = 0;
constexpr int32_t OPOS_PR_STANDARD = 1;
constexpr int32_t OPOS_PR_ADVANCED = 2;
constexpr int32_t OPOS_SUE_POWER_ONLINE = 2001;
constexpr int32_t OPOS_SUE_POWER_OFF = 2002;
constexpr int32_t OPOS_SUE_POWER_OFFLINE = 2003;
constexpr int32_t OPOS_SUE_POWER_OFF_OFFLINE = 2004;

// CheckHealth levels.
constexpr int32_t OPOS_CH_INTERNAL = 1;
constexpr int32_t OPOS_CH_EXTERNAL = 2;
constexpr int32_t OPOS_CH_INTERACTIVE = 3;

// Property index bases and the common property indices.
constexpr int32_t PIDX_NUMBER = 0;
constexpr int32_t PIDX_STRING = 1000000;

constexpr int32_t PIDX_Claimed = 1;
constexpr int32_t PIDX_DataEventEnabled = 2;
constexpr int32_t PIDX_DeviceEnabled = 3;
constexpr int32_t PIDX_FreezeEvents = 4;
constexpr int32_t PIDX_OutputID = 5;
constexpr int32_t PIDX_ResultCode = 6;
constexpr int32_t PIDX_ResultCodeExtended = 7;
constexpr int32_t PIDX_ServiceObjectVersion = 8;
constexpr int32_t PIDX_State = 9;
constexpr int32_t PIDX_AutoDisable = 10;
constexpr int32_t PIDX_BinaryConversion = 11;
constexpr int32_t PIDX_DataCount = 12;
constexpr int32_t PIDX_PowerNotify = 13;
constexpr int32_t PIDX_PowerState = 14;

constexpr int32_t PIDX_CapPowerReporting = 501;
constexpr int32_t PIDX_CapStatisticsReporting = 502;
constexpr int32_t PIDX_CapUpdateStatistics = 503;
constexpr int32_t PIDX_CapCompareFirmwareVersion = 504;
constexpr int32_t PIDX_CapUpdateFirmware = 505;

constexpr int32_t PIDX_CheckHealthText = 1 + PIDX_STRING;
constexpr int32_t PIDX_DeviceDescription = 2 + PIDX_STRING;
constexpr int32_t PIDX_DeviceName = 3 + PIDX_STRING;
constexpr int32_t PIDX_ServiceObjectDescription = 4 + PIDX_STRING;

// A service object version is major * 1000000 + minor * 1000 + build.
constexpr int32_t OposMajorVersion(int32_t version) { return version / 1000000; }

}  // namespace QVO::Opos
