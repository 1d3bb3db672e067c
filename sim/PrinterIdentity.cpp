// The models the virtual printer can play, in one table: geometry, cutter, back channel, framing.
#include "sim/PrinterIdentity.h"

#include <algorithm>
#include <cstdio>

namespace QVO::Sim {

namespace {

// Paper and dot geometry of a build.
struct Geometry {
    const char* name;
    double paperMm;
    double dotMm;
    double unitMm;
    int printWidthDots;
};

constexpr Geometry k80mm = {"80 mm", 80.0, 0.125, 0.0625, 576};
constexpr Geometry k58mm = {"58 mm", 58.0, 0.125, 0.125, 384};
constexpr Geometry kLabel = {"80 mm label", 80.0, 0.125, 0.125, 576};
constexpr Geometry kT88IV = {"80 mm", 80.0, 0.141, 0.0705, 512};

enum class Cutter { Yes, No };
enum class BackChannel { Everywhere, NotOnPrinterPorts };  // parallel and USB printer class
enum class Framing { Plain, Packets };

// Builds that share everything but their names.
struct ModelGroup {
    std::vector<const char*> names;
    Geometry geometry;
    Cutter cutter;
    BackChannel backChannel;
    Framing framing;
};

const std::vector<ModelGroup>& Table() {
    static const std::vector<ModelGroup> table = {
        {{"QP-T80A", "QP-T80B", "QP-T80C", "QP-T80D", "QP-T80E", "QP-T81A", "QP-T81B", "QP-T81C", "QP-T81D", "QP-T81E"},
         k80mm,
         Cutter::Yes,
         BackChannel::NotOnPrinterPorts,
         Framing::Plain},
        {{"QP-T82A", "QP-T82B", "QP-T82C", "QP-T82D", "QP-T82E", "QP-T82F", "QP-T82G", "QP-T82H", "QP-T82J", "QP-T82K",
          "QP-T82L", "QP-T82M"},
         k80mm,
         Cutter::Yes,
         BackChannel::Everywhere,
         Framing::Plain},
        {{"QP-T82NC"}, k80mm, Cutter::No, BackChannel::Everywhere, Framing::Plain},
        {{"QP-T58A", "QP-T58B", "QP-T58C", "QP-T58D", "QP-T58E", "QP-T58F", "QP-T58G"},
         k58mm,
         Cutter::No,
         BackChannel::NotOnPrinterPorts,
         Framing::Plain},
        {{"QP-T58X"}, k58mm, Cutter::Yes, BackChannel::NotOnPrinterPorts, Framing::Plain},
        {{"QP-L70A", "QP-L70B", "QP-L70C", "QP-L70D", "QP-L70E", "QP-L70F", "QP-L70G", "QP-L70H", "QP-L70J"},
         kLabel,
         Cutter::Yes,
         BackChannel::NotOnPrinterPorts,
         Framing::Plain},
        {{"TM-T88IV"}, kT88IV, Cutter::Yes, BackChannel::Everywhere, Framing::Plain},
        {{"RX4270SMB", "RX4270"}, k80mm, Cutter::No, BackChannel::Everywhere, Framing::Packets},
    };
    return table;
}

// The maker's framed model reports its own firmware and model ID and prints two-byte text.
constexpr const char* kFramedFirmware = "1.52";
constexpr uint8_t kFramedModelId = 0x42;

void ApplyGeometry(const Geometry& g, PrinterIdentity& id) {
    id.paperMm = g.paperMm;
    id.dotMm = g.dotMm;
    id.unitMm = g.unitMm;
    id.printWidthDots = g.printWidthDots;
}

PrinterIdentity FromGroup(const ModelGroup& group, const std::string& name) {
    PrinterIdentity id;
    id.modelName = name;
    ApplyGeometry(group.geometry, id);
    id.cutter = group.cutter == Cutter::Yes;
    id.outputOnlyOnPrinterPort = group.backChannel == BackChannel::NotOnPrinterPorts;
    if (group.framing == Framing::Packets) {
        id.framed = true;
        id.multiByte = true;
        id.firmware = kFramedFirmware;
        id.modelId = kFramedModelId;
    }
    return id;
}

std::string GroupHeading(const ModelGroup& group) {
    char text[96];
    std::snprintf(text, sizeof text, "%s, %d dots at %.3f mm, %s%s%s", group.geometry.name,
                  group.geometry.printWidthDots, group.geometry.dotMm,
                  group.cutter == Cutter::Yes ? "cutter" : "no cutter",
                  group.backChannel == BackChannel::NotOnPrinterPorts ? ", output-only on parallel/USB" : "",
                  group.framing == Framing::Packets ? ", framed packets" : "");
    return text;
}

}  // namespace

bool PrinterIdentity::AnswersOn(LinkType link) const {
    return !(outputOnlyOnPrinterPort && (link == LinkType::Parallel || link == LinkType::Usb));
}

std::optional<PrinterIdentity> PrinterIdentity::FindModel(const std::string& name) {
    for (const ModelGroup& group : Table()) {
        const auto found = std::find_if(group.names.begin(), group.names.end(),
                                        [&](const char* candidate) { return name == candidate; });
        if (found != group.names.end()) return FromGroup(group, name);
    }
    return std::nullopt;
}

PrinterIdentity PrinterIdentity::ForModel(const std::string& name) {
    if (std::optional<PrinterIdentity> known = FindModel(name)) return *known;
    PrinterIdentity id;
    id.modelName = name;
    ApplyGeometry(k80mm, id);
    return id;
}

std::vector<std::string> PrinterIdentity::ModelNames() {
    std::vector<std::string> names;
    for (const ModelGroup& group : Table()) names.insert(names.end(), group.names.begin(), group.names.end());
    return names;
}

std::string PrinterIdentity::ModelListText() {
    std::string text;
    for (const ModelGroup& group : Table()) {
        text += "  " + GroupHeading(group) + ":\n   ";
        for (const char* name : group.names) text += std::string(" ") + name;
        text += "\n";
    }
    return text;
}

}  // namespace QVO::Sim
