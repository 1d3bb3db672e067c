// The engine-class table: which printer engine class serves a model name.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "so/printer/CPrinterBase.h"

namespace QVO::SO {

// The model name of a DriverModel value: everything from its last '_' on removed.
std::wstring ModelNameOf(const std::wstring& driverModel);

// A new engine for the model name (exact, case-sensitive), or null when no class serves it.
std::unique_ptr<Printer::CPrinterBase> CreateEngine(const std::wstring& modelName);

// Every name of the table, in table order (documentation and tests).
std::vector<std::wstring> EngineModelNames();

}  // namespace QVO::SO
