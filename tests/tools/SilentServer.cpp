// A library that exports the registration entry points and answers success from each
// without writing anything: `quvo register` must not take that answer at its word.
#include "platform/com/ComBase.h"

extern "C" {

__attribute__((visibility("default"))) HRESULT DllRegisterServer() { return S_OK; }
__attribute__((visibility("default"))) HRESULT DllUnregisterServer() { return S_OK; }
__attribute__((visibility("default"))) HRESULT DllInstall(BOOL, LPCOLESTR) { return S_OK; }

}  // extern "C"
