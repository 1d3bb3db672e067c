// The CashDrawer control object: OpenDrawer, WaitForDrawerClose and the drawer properties,
// forwarded to the service object (see CControlObject for ownership and threads).
#pragma once

#include "opos/ControlObject.h"
#include "constants/OposCashConstants.h"

namespace QVO::Opos {

class CCashDrawerControl : public CControlObject {
public:
    CCashDrawerControl();

    int32_t OpenDrawer();
    int32_t WaitForDrawerClose(int32_t beepTimeout, int32_t beepFrequency, int32_t beepDuration, int32_t beepDelay);

    bool GetDrawerOpened() { return GetPropertyNumber(PIDXCash_DrawerOpened) != 0; }
    bool GetCapStatus() { return GetPropertyNumber(PIDXCash_CapStatus) != 0; }
    bool GetCapStatusMultiDrawerDetect() { return GetPropertyNumber(PIDXCash_CapStatusMultiDrawerDetect) != 0; }
};

}  // namespace QVO::Opos
