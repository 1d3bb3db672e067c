// The product lists of printer model names and the parameter blocks they select.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "so/printer/DeviceParameters.h"

namespace QVO::Printer {

// Which parameter block a model name of the compatible class selects.
enum class ModelBlock {
    Receipt80mm,  // the 80 mm list
    Receipt58mm,  // the 58 mm list
    TMT88IV,      // "TM-T88IV" itself
    Other,        // any other name: the engine defaults stay
};

// Exact, case-sensitive comparison, first matching list wins.
ModelBlock ClassifyModel(std::wstring_view modelName);
// Names that cannot answer status on a parallel port or a USB printer-class port.
bool IsOutputOnlyModel(std::wstring_view modelName);

// The compatible class's parameters for a model name (the defaults for a name in no list).
void ApplyCompatibleModelParameters(std::wstring_view modelName, DeviceParameters& parameters);
// The 58 mm adjustments made again at every open.
void ApplyReceipt58mmOpenAdjustments(std::wstring_view modelName, DeviceParameters& parameters);
// The maker's own model's parameters (one set for every name).
void ApplyMakerModelParameters(DeviceParameters& parameters);

// The lists themselves, for documentation, the virtual printer and tests.
const std::vector<std::wstring>& Receipt80mmModels();
const std::vector<std::wstring>& Receipt58mmModels();
const std::vector<std::wstring>& OutputOnlyModels();

}  // namespace QVO::Printer
