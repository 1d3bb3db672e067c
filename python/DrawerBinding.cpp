// quvo.CashDrawer: the CashDrawer control object's methods and properties.
#include "python/DeviceBinding.h"

#include "opos/CashDrawerControl.h"

namespace QVO::Python {

namespace {

using Cash = Opos::CCashDrawerControl;

class Drawer final : public Device {
public:
    Drawer() : Device(std::make_unique<Cash>()) {}
    Cash& Ctl() { return static_cast<Cash&>(Control()); }
};

}  // namespace

void BindDrawer(py::module_& module) {
    PyClass<Drawer> cls(module, "CashDrawer", "The CashDrawer control object. Methods return the OPOS ResultCode.");
    cls.def(py::init<>());
    BindCommon<Drawer>(cls);
    Method<Drawer>(cls, "OpenDrawer", &Cash::OpenDrawer);
    // Blocks until the drawer is closed (or its time-out); other Python threads run meanwhile.
    Method<Drawer>(cls, "WaitForDrawerClose", &Cash::WaitForDrawerClose);
    ReadOnly<Drawer>(cls, "DrawerOpened", &Cash::GetDrawerOpened);
    ReadOnly<Drawer>(cls, "CapStatus", &Cash::GetCapStatus);
    ReadOnly<Drawer>(cls, "CapStatusMultiDrawerDetect", &Cash::GetCapStatusMultiDrawerDetect);
}

}  // namespace QVO::Python
