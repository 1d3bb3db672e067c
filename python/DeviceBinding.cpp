// The shared part of the device classes: event handlers as Python callables, the calls whose
// arguments come back, and closing what is still open when the interpreter exits.
#include "python/DeviceBinding.h"

#include <Python.h>

#include <functional>
#include <utility>

namespace QVO::Python {

namespace {

// The module attribute holding a weak reference to every device opened (see InstallCloseAtExit).
constexpr const char* kOpenDevices = "_open_devices";

// Once the interpreter finalizes, a thread that takes the lock is ended on the spot; a handler
// is then skipped (the event gets its default answer) and a callable is left to the process's end.
bool Finalizing() { return _Py_IsFinalizing() != 0; }

// Runs a handler on the event thread. A Python exception is printed as an unraisable one and
// the event keeps its default answer: the service object's thread must go on.
template <class Call>
void RunHandler(const Callback& handler, Call&& call) {
    if (Finalizing()) return;
    py::gil_scoped_acquire lock;
    try {
        call(handler.Function());
    } catch (py::error_already_set& e) {
        e.discard_as_unraisable(handler.Function());
    } catch (const std::exception& e) {
        // A return value that does not convert, say.
        PyErr_SetString(PyExc_TypeError, e.what());
        PyErr_WriteUnraisable(handler.Function().ptr());
    }
}

}  // namespace

Callback::~Callback() {
    if (Finalizing()) {
        fn_.release();
        return;
    }
    py::gil_scoped_acquire lock;
    fn_ = py::object();
}

Device::Device(std::unique_ptr<Opos::CControlObject> control) : control_(std::move(control)) {}

// Runs with the lock released (DeviceDeleter): the control object's destructor closes.
Device::~Device() = default;

void DeviceDeleter::operator()(Device* device) const {
    py::gil_scoped_release unlocked;
    delete device;
}

py::object Device::Handler(Event event) const {
    const CallbackPtr& handler = handlers_[size_t(event)];
    return handler ? handler->Function() : py::none();
}

void Device::SetHandler(Event event, const py::object& fn) {
    CallbackPtr handler;
    if (!fn.is_none()) {
        if (!PyCallable_Check(fn.ptr())) throw py::type_error("an event handler must be callable or None");
        handler = std::make_shared<const Callback>(fn);
    }
    handlers_[size_t(event)] = handler;
    Opos::CControlObject& co = *control_;
    if (!handler) {
        switch (event) {
            case Event::OutputComplete:
                co.SetOutputCompleteEventHandler(nullptr);
                break;
            case Event::Error:
                co.SetErrorEventHandler(nullptr);
                break;
            case Event::StatusUpdate:
                co.SetStatusUpdateEventHandler(nullptr);
                break;
            case Event::DirectIO:
                co.SetDirectIOEventHandler(nullptr);
                break;
            case Event::Count:
                break;
        }
        return;
    }
    switch (event) {
        case Event::OutputComplete:
            co.SetOutputCompleteEventHandler(
                [handler](int32_t outputId) { RunHandler(*handler, [&](const py::object& f) { f(outputId); }); });
            break;
        case Event::StatusUpdate:
            co.SetStatusUpdateEventHandler(
                [handler](int32_t status) { RunHandler(*handler, [&](const py::object& f) { f(status); }); });
            break;
        // The handler's answer (OPOS_ER_RETRY, OPOS_ER_CLEAR) replaces the default; None keeps it.
        case Event::Error:
            co.SetErrorEventHandler([handler](int32_t rc, int32_t rce, int32_t locus, int32_t& response) {
                RunHandler(*handler, [&](const py::object& f) {
                    py::object answer = f(rc, rce, locus, response);
                    if (!answer.is_none()) response = answer.cast<int32_t>();
                });
            });
            break;
        // The handler may answer (data, text); None leaves both as they came.
        case Event::DirectIO:
            co.SetDirectIOEventHandler([handler](int32_t number, int32_t& data, std::wstring& text) {
                RunHandler(*handler, [&](const py::object& f) {
                    py::object answer = f(number, data, text);
                    if (answer.is_none()) return;
                    auto [newData, newText] = answer.cast<std::pair<int32_t, std::wstring>>();
                    data = newData;
                    text = std::move(newText);
                });
            });
            break;
        case Event::Count:
            break;
    }
}

void Device::ShowResult(int32_t resultCode, int32_t resultCodeExtended) {
    shown_.store(int64_t(uint64_t(uint32_t(resultCode)) << 32 | uint32_t(resultCodeExtended)));
}

int32_t Device::GetResultCode() {
    const int64_t shown = shown_.load();
    return shown == kNothingShown ? control_->GetResultCode() : int32_t(uint32_t(uint64_t(shown) >> 32));
}

int32_t Device::GetResultCodeExtended() {
    const int64_t shown = shown_.load();
    return shown == kNothingShown ? control_->GetResultCodeExtended() : int32_t(uint32_t(shown));
}

int32_t OpenDevice(const py::object& self, Device& device, const std::wstring& name) {
    int32_t rc = 0;
    {
        py::gil_scoped_release unlocked;
        device.ForgetResult();
        rc = device.Control().Open(name);
    }
    if (rc == 0) py::module_::import("quvo").attr(kOpenDevices).attr("add")(self);
    return rc;
}

py::tuple DirectIO(Device& device, int32_t command, int32_t data, std::wstring text) {
    int32_t rc = 0;
    {
        py::gil_scoped_release unlocked;
        device.ForgetResult();
        rc = device.Control().DirectIO(command, data, text);
    }
    return py::make_tuple(rc, data, text);
}

py::tuple RetrieveStatistics(Device& device, std::wstring statistics) {
    int32_t rc = 0;
    {
        py::gil_scoped_release unlocked;
        device.ForgetResult();
        rc = device.Control().RetrieveStatistics(statistics);
    }
    return py::make_tuple(rc, statistics);
}

py::tuple CompareFirmwareVersion(Device& device, const std::wstring& file) {
    int32_t rc = 0, result = 0;
    {
        py::gil_scoped_release unlocked;
        device.ForgetResult();
        rc = device.Control().CompareFirmwareVersion(file, result);
    }
    return py::make_tuple(rc, result);
}

void InstallCloseAtExit(py::module_& module) {
    module.attr(kOpenDevices) = py::module_::import("weakref").attr("WeakSet")();
    // A device that closed itself since is simply closed again (OPOS_E_CLOSED, no effect).
    py::module_::import("atexit").attr("register")(py::cpp_function([]() {
        py::object devices = py::module_::import("quvo").attr(kOpenDevices);
        for (py::handle device : py::list(devices)) device.attr("Close")();
    }));
}

}  // namespace QVO::Python
