// The Python module `quvo`: the OPOS constants, quvo.POSPrinter and quvo.CashDrawer.
#include <pybind11/pybind11.h>

#include "constants/OposCashConstants.h"
#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "python/DeviceBinding.h"

PYBIND11_MODULE(quvo, module) {
    namespace Py = QVO::Python;
    module.doc() =
        "OPOS POSPrinter and CashDrawer control objects. Methods return the OPOS result code and\n"
        "ResultCode/ResultCodeExtended tell more, as in OPOS; events reach the callables set as\n"
        "on_output_complete, on_error, on_status_update and on_direct_io.";
#define QUVO_CONSTANT(name) module.attr(#name) = QVO::Opos::name;
#include "QuvoConstants.inc"
#undef QUVO_CONSTANT
    Py::BindPrinter(module);
    Py::BindDrawer(module);
    Py::InstallCloseAtExit(module);
}
