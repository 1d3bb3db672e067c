// The engine-class table: the compatible class serves "TM-T88IV" and every name of our
// product lists; the maker's class serves its two names.
#include "so/com/EngineFactory.h"

#include <algorithm>

#include "so/printer/CRX4270SMB.h"
#include "so/printer/CTM_T88IV.h"
#include "so/printer/PrinterModelLists.h"

namespace QVO::SO {

namespace {

const std::vector<std::wstring>& CompatibleNames() {
    static const std::vector<std::wstring> names = [] {
        std::vector<std::wstring> all{L"TM-T88IV"};
        for (const auto* list :
             {&Printer::Receipt80mmModels(), &Printer::Receipt58mmModels(), &Printer::OutputOnlyModels()})
            for (const std::wstring& name : *list)
                if (std::find(all.begin(), all.end(), name) == all.end()) all.push_back(name);
        return all;
    }();
    return names;
}

const std::vector<std::wstring> kMakerNames = {L"RX4270SMB", L"RX4270"};

}  // namespace

std::wstring ModelNameOf(const std::wstring& driverModel) {
    const size_t cut = driverModel.rfind(L'_');
    return cut == std::wstring::npos ? driverModel : driverModel.substr(0, cut);
}

std::unique_ptr<Printer::CPrinterBase> CreateEngine(const std::wstring& modelName) {
    const auto& compatible = CompatibleNames();
    if (std::find(compatible.begin(), compatible.end(), modelName) != compatible.end())
        return std::make_unique<Printer::CTM_T88IV>(modelName);
    if (std::find(kMakerNames.begin(), kMakerNames.end(), modelName) != kMakerNames.end())
        return std::make_unique<Printer::CRX4270SMB>(modelName);
    return nullptr;
}

std::vector<std::wstring> EngineModelNames() {
    std::vector<std::wstring> all = CompatibleNames();
    all.insert(all.end(), kMakerNames.begin(), kMakerNames.end());
    return all;
}

}  // namespace QVO::SO
