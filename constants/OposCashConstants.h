// The cash drawer's OPOS constants: status-update values and property indices.
#pragma once

#include "constants/OposConstants.h"

namespace QVO::Opos {

constexpr int32_t CASH_SUE_DRAWERCLOSED = 0;
constexpr int32_t CASH_SUE_DRAWEROPEN = 1;

constexpr int32_t PIDX_CASH = 1000;

constexpr int32_t PIDXCash_DrawerOpened = 1 + PIDX_CASH;
constexpr int32_t PIDXCash_CapStatus = 501 + PIDX_CASH;
constexpr int32_t PIDXCash_CapStatusMultiDrawerDetect = 502 + PIDX_CASH;

}  // namespace QVO::Opos
