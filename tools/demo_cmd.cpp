// `quvo demo`: a receipt built by the command builder, sent over a real TCP/IP port to the
// virtual printer, with the printer's status read back and decoded the way the engine does.
#include "tools/Command.h"

#include "sim/Transport.h"
#include "sim/VirtualPrinter.h"
#include "so/cmd/CCmdHelperBase.h"
#include "constants/OposPtrConstants.h"
#include "so/cmd/PrinterBuffer.h"
#include "so/io/ParsePortSettings.h"
#include "so/io/PortFactory.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using QVO::IO::IPort;
using QVO::Printer::CCmdHelperBase;
using QVO::Printer::PrinterBuffer;
using QVO::Printer::tagPrinterStatus;

constexpr const char* kUsage =
    "Usage: quvo demo [--out DIR]\n"
    "Starts a virtual printer on a loopback TCP port, prints a sample receipt on it through\n"
    "the TCP/IP port with the ESC/POS command builder, reads the printer's status back while\n"
    "faults are switched on and off, and leaves the paper as DIR/receipt.png and the decoded\n"
    "commands as DIR/commands.log (DIR defaults to out/demo).\n";

std::span<const uint8_t> Bytes(const char* text) { return {reinterpret_cast<const uint8_t*>(text), std::strlen(text)}; }

void Text(PrinterBuffer& b, const char* text) { b.Append(Bytes(text)); }

// One line of the receipt body: the label on the left, the amount flush right, in the 42
// columns of font A on 80 mm paper.
void Row(PrinterBuffer& b, const char* label, const char* amount) {
    char line[64];
    std::snprintf(line, sizeof line, "%-30s%12s", label, amount);
    Text(b, line);
}

// A 64 x 32 dot logo (a ring) in the downloaded-image layout: columns left to right, each
// column y bytes from the top, the top dot in the high bit.
std::vector<uint8_t> RingLogo(int xBytes, int yBytes) {
    const int width = xBytes * 8, height = yBytes * 8;
    std::vector<uint8_t> data(static_cast<size_t>(width * yBytes), 0);
    for (int col = 0; col < width; ++col)
        for (int row = 0; row < height; ++row) {
            const double dx = (col - width / 2.0) / (width / 2.0), dy = (row - height / 2.0) / (height / 2.0);
            const double r = dx * dx + dy * dy;
            if (r < 0.9 && r > 0.45) data[static_cast<size_t>(col * yBytes + row / 8)] |= 0x80 >> (row % 8);
        }
    return data;
}

// The sample receipt: styles, alignment, a barcode, a QR code, a small raster logo, a cut.
PrinterBuffer BuildReceipt(CCmdHelperBase& cmd) {
    PrinterBuffer b(4096, 256);
    cmd.InitializePrinter(b);
    cmd.SelectCodePage(b, 437);
    cmd.SetJustification(b, 1);
    const std::vector<uint8_t> logo = RingLogo(8, 4);
    cmd.DefineDownloadedImage(b, 8, 4, logo);
    cmd.PrintDownloadedImage(b, 0);
    cmd.LineFeed(b);
    cmd.SetCharacterSize(b, 2, 2);
    cmd.SetEmphasized(b, true);
    Text(b, "QUVO MARKET");
    cmd.LineFeed(b);
    cmd.SetCharacterSize(b, 1, 1);
    cmd.SetEmphasized(b, false);
    Text(b, "12 Harbour Street");
    cmd.LineFeed(b);
    cmd.PrintAndFeedLines(b, 1);
    cmd.SetJustification(b, 0);
    const char* items[][2] = {{"Coffee beans 1kg", "14.90"}, {"Oat milk", "2.35"}, {"Croissant x3", "5.40"}};
    for (const auto& item : items) {
        Row(b, item[0], item[1]);
        cmd.LineFeed(b);
    }
    cmd.SetUnderline(b, 1);
    Row(b, "", "");
    cmd.LineFeed(b);
    cmd.SetUnderline(b, 0);
    cmd.SetEmphasized(b, true);
    Row(b, "TOTAL", "22.65");
    cmd.LineFeed(b);
    cmd.SetEmphasized(b, false);
    cmd.SetReversePrinting(b, true);
    Text(b, " PAID BY CARD ");
    cmd.SetReversePrinting(b, false);
    cmd.LineFeed(b);
    cmd.PrintAndFeedLines(b, 1);

    cmd.SetJustification(b, 1);
    const char* code = "4006381333931";
    cmd.AppendBarcode(b, QVO::Opos::PTR_BCS_EAN13, 80, 3, 1, QVO::Opos::PTR_BC_TEXT_BELOW, 0, Bytes(code));
    cmd.PrintAndFeedLines(b, 1);
    cmd.SelectQrModel(b, 0x32);  // model 2
    cmd.SetQrModuleSize(b, 6);
    cmd.SetQrErrorLevel(b, 49);
    cmd.StoreQrData(b, Bytes("https://quvo.example/receipt/2026-12-07/0042"));
    cmd.PrintQr(b);
    cmd.LineFeed(b);
    Text(b, "Thank you!");
    cmd.LineFeed(b);
    cmd.FeedAndPartialCut(b);
    return b;
}

// Sends a real-time status request and reads its one-byte answer; -1 when none came.
int AskStatus(CCmdHelperBase& cmd, IPort& port, int n) {
    PrinterBuffer request;
    cmd.RequestRealTimeStatus(request, n);
    if (!port.Write(request.Data(), 0, static_cast<int32_t>(request.Size()))) return -1;
    uint8_t reply = 0;
    int32_t got = 0;
    if (!port.Read(&reply, 0, 1, got, 1) || got != 1) return -1;
    return reply;
}

// Reads the four status bytes and decodes them with the builder's parsers.
bool ReadStatus(CCmdHelperBase& cmd, IPort& port, tagPrinterStatus& status) {
    int printer = AskStatus(cmd, port, 1), offline = AskStatus(cmd, port, 2);
    int paper = AskStatus(cmd, port, 4);
    if (printer < 0 || offline < 0 || paper < 0) return false;
    status = {};
    return cmd.ParsePrinterStatusByte(static_cast<uint8_t>(printer), &status) &&
           cmd.ParseOfflineStatusByte(static_cast<uint8_t>(offline), &status) &&
           cmd.ParsePaperStatusByte(static_cast<uint8_t>(paper), &status);
}

void ShowStatus(const char* situation, CCmdHelperBase& cmd, IPort& port) {
    tagPrinterStatus s;
    if (!ReadStatus(cmd, port, s)) {
        std::printf("  %-28s no status reply\n", situation);
        return;
    }
    std::printf("  %-28s cover %-6s paper %-9s drawer signal %-4s %s\n", situation, s.coverOpen ? "open" : "closed",
                s.paperEnd       ? "empty"
                : s.paperNearEnd ? "near end"
                                 : "ok",
                s.drawerSignal ? "high" : "low", s.offline ? "offline" : "online");
}

int RunDemo(int argc, char** argv) {
    std::string outDir = "out/demo";
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kUsage, stdout);
            return QVO::Tools::kExitOk;
        }
        if (!std::strcmp(argv[i], "--out") && i + 1 < argc) {
            outDir = argv[++i];
            continue;
        }
        std::fprintf(stderr, "quvo demo: unexpected argument '%s'\n%s", argv[i], kUsage);
        return QVO::Tools::kExitUsage;
    }
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    const std::string png = outDir + "/receipt.png", log = outDir + "/commands.log";

    QVO::Sim::VirtualPrinter printer(QVO::Sim::PrinterIdentity::ForModel("TM-T88IV"));
    if (!printer.OpenLog(log)) {
        std::fprintf(stderr, "quvo demo: cannot write %s\n", log.c_str());
        return QVO::Tools::kExitFailure;
    }
    QVO::Sim::TcpServer server(printer, 0);
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "quvo demo: virtual printer did not start: %s\n", error.c_str());
        return QVO::Tools::kExitFailure;
    }
    std::printf("Virtual printer (TM-T88IV) listening on 127.0.0.1:%u\n", server.Port());

    const QVO::IO::ParsedPortSettings parsed =
        QVO::IO::ParsePortSettings(L"TCP/IP", (L"127.0.0.1," + std::to_wstring(server.Port())).c_str());
    if (!parsed) {
        std::fprintf(stderr, "quvo demo: port settings refused (%d): %s\n", parsed.code, parsed.message.c_str());
        return QVO::Tools::kExitFailure;
    }
    // The port locks the printer in the shared lock directory while open and removes its
    // lock file at Close, so repeated runs leave nothing behind there.
    std::unique_ptr<IPort> port = QVO::IO::CreatePort(*parsed.settings);
    if (!port->Open()) {
        std::fprintf(stderr, "quvo demo: cannot open the port (%d): %ls\n", port->GetLastErrorCode(),
                     port->GetLastErrorText());
        return QVO::Tools::kExitFailure;
    }

    CCmdHelperBase cmd;
    std::printf("Status read back over the link:\n");
    ShowStatus("ready", cmd, *port);
    PrinterBuffer receipt = BuildReceipt(cmd);
    if (!port->Write(receipt.Data(), 0, static_cast<int32_t>(receipt.Size()))) {
        std::fprintf(stderr, "quvo demo: write failed (%d): %ls\n", port->GetLastErrorCode(), port->GetLastErrorText());
        return QVO::Tools::kExitFailure;
    }
    std::printf("Sent a receipt of %zu bytes.\n", receipt.Size());

    printer.SetPaper(QVO::Sim::PaperLevel::NearEnd);
    ShowStatus("paper running low", cmd, *port);
    printer.SetCoverOpen(true);
    ShowStatus("cover opened", cmd, *port);
    printer.SetCoverOpen(false);
    printer.SetPaper(QVO::Sim::PaperLevel::Normal);
    PrinterBuffer pulse;
    cmd.GeneratePulse(pulse, 0, 50, 50);
    port->Write(pulse.Data(), 0, static_cast<int32_t>(pulse.Size()));
    ShowStatus("drawer kicked open", cmd, *port);

    port->Close();
    server.Stop();
    printer.EndOfStream();
    if (!printer.WritePng(png)) {
        std::fprintf(stderr, "quvo demo: cannot write %s\n", png.c_str());
        return QVO::Tools::kExitFailure;
    }
    std::printf("The paper: %s\nThe decoded commands: %s\n", png.c_str(), log.c_str());
    return QVO::Tools::kExitOk;
}

QVO::Tools::CommandRegistration registration{"demo", "print a sample receipt on the virtual printer", &RunDemo};

}  // namespace
