// The part of the Python classes POSPrinter and CashDrawer they share: one control object per
// Python object, its event handlers as Python callables, and the common methods and properties.
//
// The interpreter lock: every call into the control object releases it (the service object's
// event thread takes it to run a handler, and Close waits for that handler), and an event
// handler runs with it taken. Ownership: the Python object owns its control object; a handler
// is shared by the Python object and the control object's event receiver and may be dropped on
// any thread. Threads: like the control object, one Python thread at a time uses a device
// (event handlers may read its properties).
#pragma once

#include <pybind11/pybind11.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "opos/ControlObject.h"

namespace QVO::Python {

namespace py = pybind11;

// A Python callable that can be copied and dropped on any thread, with or without the lock.
class Callback {
public:
    explicit Callback(py::object fn) : fn_(std::move(fn)) {}  // the lock is held
    ~Callback();
    Callback(const Callback&) = delete;
    Callback& operator=(const Callback&) = delete;
    const py::object& Function() const { return fn_; }

private:
    py::object fn_;
};
using CallbackPtr = std::shared_ptr<const Callback>;

enum class Event { OutputComplete, Error, StatusUpdate, DirectIO, Count };

class Device {
public:
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    virtual ~Device();

    Opos::CControlObject& Control() { return *control_; }

    // The handler of an event as the application set it (None when unset). Lock held.
    py::object Handler(Event event) const;
    void SetHandler(Event event, const py::object& fn);

    // A call made of several control-object calls (a PrintNormal of bytes) shows its own
    // result in ResultCode and ResultCodeExtended until the next method call or property change.
    void ShowResult(int32_t resultCode, int32_t resultCodeExtended);
    void ForgetResult() { shown_.store(kNothingShown); }
    int32_t GetResultCode();
    int32_t GetResultCodeExtended();

protected:
    explicit Device(std::unique_ptr<Opos::CControlObject> control);

private:
    static constexpr int64_t kNothingShown = -1;

    std::unique_ptr<Opos::CControlObject> control_;
    std::array<CallbackPtr, size_t(Event::Count)> handlers_;  // under the interpreter lock
    // The result ShowResult keeps (ResultCode in the high half), or kNothingShown.
    std::atomic<int64_t> shown_{kNothingShown};
};

// Deletes a device with the interpreter lock released: closing waits for handlers in progress.
struct DeviceDeleter {
    void operator()(Device* device) const;
};

template <class D>
using Holder = std::unique_ptr<D, DeviceDeleter>;
template <class D>
using PyClass = py::class_<D, Holder<D>>;

// ---- forwarding a control-object member to Python ----

// Text arguments arrive as std::wstring (a Python str), handed on as a view.
template <class T>
using PyArg = std::conditional_t<std::is_same_v<std::decay_t<T>, std::wstring_view>, std::wstring, T>;

// A method or property setter: it is a new call, so a result ShowResult kept is forgotten.
template <class D, class C, class R, class... A>
auto Forwarding(R (C::*member)(A...)) {
    return [member](D& d, PyArg<A>... args) -> R {
        d.ForgetResult();
        return (d.Ctl().*member)(args...);
    };
}

// A property getter.
template <class D, class C, class R>
auto Reading(R (C::*member)()) {
    return [member](D& d) -> R { return (d.Ctl().*member)(); };
}
template <class D, class C, class R>
auto Reading(R (C::*member)() const) {
    return [member](D& d) -> R { return (d.Ctl().*member)(); };
}

inline auto Unlocked() { return py::call_guard<py::gil_scoped_release>(); }

template <class D, class M>
void Method(PyClass<D>& cls, const char* name, M member, const char* doc = nullptr) {
    cls.def(name, Forwarding<D>(member), Unlocked(), doc);
}

template <class D, class G>
void ReadOnly(PyClass<D>& cls, const char* name, G getter) {
    cls.def_property_readonly(name, py::cpp_function(Reading<D>(getter), Unlocked()));
}

template <class D, class G, class S>
void ReadWrite(PyClass<D>& cls, const char* name, G getter, S setter) {
    cls.def_property(name, py::cpp_function(Reading<D>(getter), Unlocked()),
                     py::cpp_function(Forwarding<D>(setter), Unlocked()));
}

// ---- the calls whose arguments come back (the lock is taken to build the answer) ----

int32_t OpenDevice(const py::object& self, Device& device, const std::wstring& name);
py::tuple DirectIO(Device& device, int32_t command, int32_t data, std::wstring text);
py::tuple RetrieveStatistics(Device& device, std::wstring statistics);
py::tuple CompareFirmwareVersion(Device& device, const std::wstring& file);
// Closes every device the module opened and that is still open: run by atexit, before the
// interpreter stops other threads from taking the lock (a handler then could never finish).
void InstallCloseAtExit(py::module_& module);

// The device classes (PrinterBinding.cpp, DrawerBinding.cpp).
void BindPrinter(py::module_& module);
void BindDrawer(py::module_& module);

// The methods, properties and event handlers of every device class.
template <class D>
void BindCommon(PyClass<D>& cls) {
    using Co = Opos::CControlObject;
    cls.def(
        "Open",
        [](const py::object& self, const std::wstring& name) { return OpenDevice(self, self.cast<D&>(), name); },
        py::arg("device_name"), "Opens a logical device name or device entry; returns the ResultCode.");
    const auto close = [](D& d) {
        d.ForgetResult();
        return d.Control().Close();
    };
    cls.def("Close", close, Unlocked());
    Method<D>(cls, "ClaimDevice", &Co::ClaimDevice);
    Method<D>(cls, "ReleaseDevice", &Co::ReleaseDevice);
    Method<D>(cls, "CheckHealth", &Co::CheckHealth);
    Method<D>(cls, "ResetStatistics", &Co::ResetStatistics);
    Method<D>(cls, "UpdateStatistics", &Co::UpdateStatistics);
    Method<D>(cls, "UpdateFirmware", &Co::UpdateFirmware);
    Method<D>(cls, "GetPropertyNumber", &Co::GetPropertyNumber);
    Method<D>(cls, "SetPropertyNumber", &Co::SetPropertyNumber);
    Method<D>(cls, "GetPropertyString", &Co::GetPropertyString);
    Method<D>(cls, "SetPropertyString", &Co::SetPropertyString);
    cls.def(
        "DirectIO",
        [](D& d, int32_t command, int32_t data, std::wstring text) {
            return DirectIO(d, command, data, std::move(text));
        },
        py::arg("command"), py::arg("data") = 0, py::arg("text") = std::wstring(), "Returns (ResultCode, data, text).");
    cls.def(
        "RetrieveStatistics",
        [](D& d, std::wstring statistics) { return RetrieveStatistics(d, std::move(statistics)); },
        py::arg("statistics") = std::wstring(), "Returns (ResultCode, statistics).");
    cls.def(
        "CompareFirmwareVersion", [](D& d, const std::wstring& file) { return CompareFirmwareVersion(d, file); },
        "Returns (ResultCode, result).");

    cls.def_property_readonly("ResultCode", py::cpp_function([](D& d) { return d.GetResultCode(); }, Unlocked()));
    cls.def_property_readonly("ResultCodeExtended",
                              py::cpp_function([](D& d) { return d.GetResultCodeExtended(); }, Unlocked()));
    ReadOnly<D>(cls, "State", &Co::GetState);
    ReadOnly<D>(cls, "Claimed", &Co::GetClaimed);
    ReadWrite<D>(cls, "DeviceEnabled", &Co::GetDeviceEnabled, &Co::SetDeviceEnabled);
    ReadWrite<D>(cls, "FreezeEvents", &Co::GetFreezeEvents, &Co::SetFreezeEvents);
    ReadOnly<D>(cls, "OpenResult", &Co::GetOpenResult);
    ReadOnly<D>(cls, "OutputID", &Co::GetOutputID);
    ReadOnly<D>(cls, "ServiceObjectVersion", &Co::GetServiceObjectVersion);
    ReadOnly<D>(cls, "CapPowerReporting", &Co::GetCapPowerReporting);
    ReadWrite<D>(cls, "PowerNotify", &Co::GetPowerNotify, &Co::SetPowerNotify);
    ReadOnly<D>(cls, "PowerState", &Co::GetPowerState);
    ReadWrite<D>(cls, "BinaryConversion", &Co::GetBinaryConversion, &Co::SetBinaryConversion);
    ReadOnly<D>(cls, "CheckHealthText", &Co::GetCheckHealthText);
    ReadOnly<D>(cls, "DeviceDescription", &Co::GetDeviceDescription);
    ReadOnly<D>(cls, "DeviceName", &Co::GetDeviceName);
    ReadOnly<D>(cls, "ServiceObjectDescription", &Co::GetServiceObjectDescription);
    ReadOnly<D>(cls, "ControlObjectDescription", &Co::GetControlObjectDescription);
    ReadOnly<D>(cls, "ControlObjectVersion", &Co::GetControlObjectVersion);

    const auto handler = [&cls](const char* name, Event event) {
        cls.def_property(
            name, [event](const D& d) { return d.Handler(event); },
            [event](D& d, const py::object& fn) { d.SetHandler(event, fn); });
    };
    handler("on_output_complete", Event::OutputComplete);
    handler("on_error", Event::Error);
    handler("on_status_update", Event::StatusUpdate);
    handler("on_direct_io", Event::DirectIO);

    // `with quvo.POSPrinter() as p:` closes the device at the end of the block.
    cls.def("__enter__", [](const py::object& self) { return self; });
    cls.def(
        "__exit__", [close](D& d, const py::args&) { close(d); }, Unlocked());
}

}  // namespace QVO::Python
