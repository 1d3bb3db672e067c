// The model lists and what each model class makes of a name: sizes of the product lists,
// the parameter block a name selects, and which printers count as able to answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "sim/PrinterIdentity.h"
#include "so/printer/CRX4270SMB.h"
#include "so/printer/CTM_T88IV.h"
#include "so/printer/PrinterModelLists.h"

namespace QVO::Printer {
namespace {

TEST(PrinterModelsTest, ProductListsHaveTheirSizesAndNoRepeats) {
    EXPECT_EQ(Receipt80mmModels().size(), 23u);
    EXPECT_EQ(Receipt58mmModels().size(), 8u);
    EXPECT_EQ(OutputOnlyModels().size(), 27u);
    std::set<std::wstring> unique(OutputOnlyModels().begin(), OutputOnlyModels().end());
    EXPECT_EQ(unique.size(), 27u);
    for (const auto& name : Receipt58mmModels()) EXPECT_TRUE(IsOutputOnlyModel(name)) << "58 mm models print only";
}

TEST(PrinterModelsTest, NamesSelectTheirParameterBlock) {
    struct Case {
        const wchar_t* name;
        int32_t paperWidth;
        int32_t cutter;
        bool papercut;
        bool asb;
        uint8_t statusMethod;
    };
    const Case cases[] = {
        {L"TM-T88IV", 512, 2100, true, true, kStatusByRealTime | kStatusByTransmitStatus},
        {L"QP-T80C", 576, 2300, true, true, kStatusByRealTime | kStatusByTransmitStatus},
        {L"QP-T81A", 576, 2200, true, true, kStatusByRealTime | kStatusByTransmitStatus},
        {L"QP-T82B", 576, 2400, true, true, kStatusByRealTime | kStatusByTransmitStatus},
        {L"QP-T82NC", 576, 2400, false, true, kStatusByRealTime | kStatusByTransmitStatus},
        {L"QP-T58A", 384, 800, false, false, kStatusByTransmitStatus},
        {L"QP-T58X", 384, 800, true, false, kStatusByTransmitStatus},
        {L"qp-t80c", 576, 2100, true, false, kStatusByTransmitStatus},  // names compare exactly
        {L"Unknown", 576, 2100, true, false, kStatusByTransmitStatus},
    };
    for (const Case& c : cases) {
        CTM_T88IV model(c.name);
        model.SetProperty_Open();  // the 58 mm adjustments are made at open
        const DeviceParameters& p = model.Parameters();
        EXPECT_EQ(p.paperWidth, c.paperWidth) << c.name;
        EXPECT_EQ(p.cutterDistance, c.cutter) << c.name;
        EXPECT_EQ(p.capRecPapercut, c.papercut) << c.name;
        EXPECT_EQ(p.asbOption, c.asb) << c.name;
        EXPECT_EQ(p.statusMethod, c.statusMethod) << c.name;
    }
}

TEST(PrinterModelsTest, MakerModelFramesItsOutputAndHasNoCutterOrRotation) {
    CRX4270SMB model(L"RX4270SMB");
    const DeviceParameters& p = model.Parameters();
    EXPECT_EQ(p.cutterDistance, 2600);
    EXPECT_FALSE(p.capRecPapercut);
    EXPECT_FALSE(p.capRecLeft90);
    EXPECT_EQ(p.recBitmapRotationList, L"0,180");
    EXPECT_EQ(model.IsSupportBidi(), 1);
    EXPECT_EQ(model.DeviceName(), L"RX4270SMB");
}

// The virtual printer keeps its own model table; this catches the two drifting apart: a name
// the engine serves that the printer refuses, or a printer whose paper, dot pitch, cutter or
// back channel is not what the engine's parameter block for that name assumes.
TEST(PrinterModelsTest, VirtualPrinterPlaysEveryModelAsTheEngineSeesIt) {
    std::vector<std::wstring> engineNames = Receipt80mmModels();
    engineNames.insert(engineNames.end(), Receipt58mmModels().begin(), Receipt58mmModels().end());
    for (const auto& name : OutputOnlyModels())
        if (std::find(engineNames.begin(), engineNames.end(), name) == engineNames.end()) engineNames.push_back(name);
    engineNames.push_back(L"TM-T88IV");
    const std::vector<std::wstring> makerNames = {L"RX4270SMB", L"RX4270"};
    engineNames.insert(engineNames.end(), makerNames.begin(), makerNames.end());
    EXPECT_EQ(engineNames.size(), Sim::PrinterIdentity::ModelNames().size()) << "the printer plays other names";

    constexpr double kPitchTolerance = 0.0005;
    for (const std::wstring& name : engineNames) {
        const std::string narrow(name.begin(), name.end());
        const std::optional<Sim::PrinterIdentity> sim = Sim::PrinterIdentity::FindModel(narrow);
        ASSERT_TRUE(sim) << narrow << " is refused by the virtual printer";
        const bool maker = std::find(makerNames.begin(), makerNames.end(), name) != makerNames.end();
        std::unique_ptr<CPrinterBase> model;
        if (maker) {
            model = std::make_unique<CRX4270SMB>(name);
        } else {
            model = std::make_unique<CTM_T88IV>(name);
        }
        model->SetProperty_Open();
        const DeviceParameters& p = model->Parameters();
        EXPECT_EQ(sim->printWidthDots, p.paperWidth) << narrow;
        EXPECT_NEAR(sim->dotMm, p.horizontalDotMm, kPitchTolerance) << narrow;
        EXPECT_NEAR(sim->unitMm, p.verticalUnitMm, kPitchTolerance) << narrow;
        EXPECT_EQ(sim->cutter, p.capRecPapercut) << narrow;
        EXPECT_EQ(sim->outputOnlyOnPrinterPort, IsOutputOnlyModel(name)) << narrow;
        EXPECT_EQ(sim->framed, maker) << narrow;
    }
}

}  // namespace
}  // namespace QVO::Printer
