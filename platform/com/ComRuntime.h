// Our own view of the in-process server loader behind CoCreateInstance/CoGetClassObject.
//
// The loader keeps a table of the server modules it has dlopen-ed (RTLD_NOW|RTLD_LOCAL), one
// entry per path. CoFreeUnusedLibraries dlcloses a module only when its DllCanUnloadNow
// has answered S_OK, with no class-object request into it running, for a whole unload delay.
//
// Thread safety: one mutex guards the module table (innermost). It is not held while a
// module's constructors, destructors (dlopen, dlclose), DllGetClassObject or IClassFactory
// code runs, so server code may call back into the runtime; it is held around DllCanUnloadNow,
// which must therefore not call the loader itself.
#pragma once

#include <string>

#include "platform/com/ComBase.h"

namespace QVO::Platform::Com {

// How long a server module must have stayed idle before CoFreeUnusedLibraries unloads it:
// long enough for a thread that has just released the last object to return out of it.
constexpr DWORD kDefaultUnloadDelayMs = 1000;

// The InprocServer32 path registered for clsid in the merged HKCR view; empty if none.
std::wstring InprocServerPath(const CLSID& clsid);

// Whether the loader currently holds `path` (as registered) loaded.
bool IsModuleLoaded(const std::wstring& path);
// How many server modules the loader holds.
size_t LoadedModuleCount();

}  // namespace QVO::Platform::Com
