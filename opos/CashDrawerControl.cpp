// The CashDrawer control object's methods: each forwards to the service object by DISPID.
#include "opos/CashDrawerControl.h"

namespace QVO::Opos {

namespace {
using M = SoMethod;
}

CCashDrawerControl::CCashDrawerControl()
    : CControlObject(L"CashDrawer", {
                                        {M::GetPropertyNumber, true},  {M::SetPropertyNumber, true},
                                        {M::GetPropertyString, true},  {M::SetPropertyString, true},
                                        {M::OpenService, true},        {M::CloseService, true},
                                        {M::ClaimDevice, true},        {M::ReleaseDevice, true},
                                        {M::CheckHealth, true},        {M::DirectIO, true},
                                        {M::COFreezeEvents, true},     {M::OpenDrawer, true},
                                        {M::WaitForDrawerClose, true}, {M::GetOpenResult, false},
                                        {M::ResetStatistics, false},   {M::RetrieveStatistics, false},
                                        {M::UpdateStatistics, false},  {M::CompareFirmwareVersion, false},
                                        {M::UpdateFirmware, false},
                                    }) {}

int32_t CCashDrawerControl::OpenDrawer() { return Call(M::OpenDrawer); }

int32_t CCashDrawerControl::WaitForDrawerClose(int32_t beepTimeout, int32_t beepFrequency, int32_t beepDuration,
                                               int32_t beepDelay) {
    return Call(M::WaitForDrawerClose, {In(beepTimeout), In(beepFrequency), In(beepDuration), In(beepDelay)});
}

}  // namespace QVO::Opos
