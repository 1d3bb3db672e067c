// `quvo devices`: lists the configured printers and cash drawers of the registry store with
// their model, port, code page and the logical names that lead to them.
#include "tools/Command.h"

#include "platform/registry/RegText.h"
#include "platform/registry/Registry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

namespace Reg = QVO::Platform::Registry;
using QVO::Tools::kExitFailure;
using QVO::Tools::kExitOk;
using QVO::Tools::kExitUsage;

const char kUsage[] =
    "Usage: quvo devices\n"
    "Lists the printers and cash drawers configured under\n"
    "HKLM\\SOFTWARE\\OLEforRetail\\ServiceOPOS: for a printer its entry name, model, port type\n"
    "and settings, code page and the logical names leading to it; for a drawer the printer it\n"
    "hangs on and its drawer pin. The hive files are in $QUVO_REGISTRY_DIR when set.\n"
    "Exit status: 0 done, 1 the store cannot be read, 2 bad command line.\n";

const std::wstring kServiceOpos = L"SOFTWARE\\OLEforRetail\\ServiceOPOS";
const std::wstring kPrinterClass = L"POSPrinter";
const std::wstring kDrawerClass = L"CashDrawer";
constexpr size_t kColumnGap = 2;
const wchar_t kNone[] = L"-";

// The entries of one device class and the logical names found beside them.
struct DeviceClass {
    std::vector<std::wstring> entries;
    std::vector<std::pair<std::wstring, std::wstring>> logicalNames;  // name -> entry
};

bool SameName(std::wstring_view a, std::wstring_view b) { return Reg::Text::FoldCase(a) == Reg::Text::FoldCase(b); }

Reg::Status ReadClass(const std::wstring& deviceClass, DeviceClass& out) {
    Reg::Key key;
    if (Reg::Status s = Reg::Key::Open(Reg::Hive::LocalMachine, kServiceOpos + L"\\" + deviceClass, key); !s)
        return s.error == Reg::Error::NotFound ? Reg::Status{} : s;
    if (Reg::Status s = key.EnumSubKeys(out.entries); !s) return s;
    std::vector<Reg::NamedValue> values;
    if (Reg::Status s = key.EnumValues(values); !s) return s;
    for (const auto& v : values)
        if (!v.name.empty() && v.value.type == Reg::ValueType::String && !v.value.text.empty())
            out.logicalNames.emplace_back(v.name, v.value.text);
    return {};
}

// A value as text: strings as they are, anything missing or empty as "-". The service object
// reads text only, so a number (hand-edited stores hold DWORDs) is shown with its type.
std::wstring ValueText(const Reg::Key& key, std::wstring_view name) {
    Reg::Value v;
    if (!key.QueryValue(name, v)) return kNone;
    switch (v.type) {
        case Reg::ValueType::String:
        case Reg::ValueType::ExpandString:
            return v.text.empty() ? kNone : v.text;
        case Reg::ValueType::DWord:
            return std::to_wstring(v.dword) + L" (REG_DWORD)";
        default:
            return kNone;
    }
}

std::wstring LogicalNamesOf(const DeviceClass& c, const std::wstring& entry) {
    std::wstring names;
    for (const auto& [name, target] : c.logicalNames)
        if (SameName(target, entry)) names += (names.empty() ? L"" : L", ") + name;
    return names.empty() ? kNone : names;
}

bool HasEntry(const DeviceClass& c, std::wstring_view entry) {
    return std::any_of(c.entries.begin(), c.entries.end(), [&](const auto& e) { return SameName(e, entry); });
}

Reg::Status OpenEntry(const std::wstring& deviceClass, const std::wstring& entry, Reg::Key& key) {
    return Reg::Key::Open(Reg::Hive::LocalMachine, kServiceOpos + L"\\" + deviceClass + L"\\" + entry, key);
}

using Row = std::vector<std::wstring>;

// Prints rows with every column as wide as its widest cell (counted in characters).
void PrintTable(const std::vector<Row>& rows) {
    std::vector<size_t> widths;
    for (const Row& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    }
    for (const Row& row : rows) {
        std::wstring line = L"  ";
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line.append(widths[i] - row[i].size() + kColumnGap, L' ');
        }
        std::printf("%s\n", Reg::Text::EncodeUtf8(line).c_str());
    }
}

Reg::Status PrinterRows(const DeviceClass& printers, std::vector<Row>& rows) {
    rows.push_back({L"ENTRY", L"MODEL", L"PORT", L"CODE PAGE", L"LOGICAL NAMES"});
    for (const auto& entry : printers.entries) {
        Reg::Key key;
        if (Reg::Status s = OpenEntry(kPrinterClass, entry, key); !s) {
            if (s.error == Reg::Error::NotFound) continue;  // removed since it was listed
            return s;
        }
        std::wstring port = ValueText(key, L"PortType");
        if (std::wstring settings = ValueText(key, L"PortSettings"); settings != kNone) port += L" " + settings;
        rows.push_back({entry, ValueText(key, L"DriverModel"), port, ValueText(key, L"CodepageID"),
                        LogicalNamesOf(printers, entry)});
    }
    return {};
}

Reg::Status DrawerRows(const DeviceClass& drawers, const DeviceClass& printers, std::vector<Row>& rows) {
    rows.push_back({L"ENTRY", L"PRINTER", L"PIN", L"LOGICAL NAMES"});
    for (const auto& entry : drawers.entries) {
        Reg::Key key;
        if (Reg::Status s = OpenEntry(kDrawerClass, entry, key); !s) {
            if (s.error == Reg::Error::NotFound) continue;  // removed since it was listed
            return s;
        }
        std::wstring printer = ValueText(key, L"PrinterName");
        if (printer != kNone && !HasEntry(printers, printer)) printer += L" (no such printer)";
        rows.push_back({entry, printer, ValueText(key, L"DrawerPin"), LogicalNamesOf(drawers, entry)});
    }
    return {};
}

// Logical names whose entry is gone: opening them fails, so say so here.
void PrintDangling(const wchar_t* what, const DeviceClass& c) {
    for (const auto& [name, target] : c.logicalNames)
        if (!HasEntry(c, target))
            std::printf("logical name %s leads to %s, which is not a configured %s\n",
                        Reg::Text::EncodeUtf8(name).c_str(), Reg::Text::EncodeUtf8(target).c_str(),
                        Reg::Text::EncodeUtf8(what).c_str());
}

int ReadFailed(const Reg::Status& s) {
    std::fprintf(stderr, "quvo devices: cannot read the registry store: %s\n", s.message.c_str());
    return kExitFailure;
}

int RunDevices(int argc, char** argv) {
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")))
        return std::fputs(kUsage, stdout), kExitOk;
    if (argc != 1) {
        std::fprintf(stderr, "quvo devices: unexpected argument '%s'\n%s", argv[1], kUsage);
        return kExitUsage;
    }
    DeviceClass printers, drawers;
    if (Reg::Status s = ReadClass(kPrinterClass, printers); !s) return ReadFailed(s);
    if (Reg::Status s = ReadClass(kDrawerClass, drawers); !s) return ReadFailed(s);
    if (printers.entries.empty() && drawers.entries.empty()) {
        std::printf("no devices configured (HKLM\\%s in %s)\n", Reg::Text::EncodeUtf8(kServiceOpos).c_str(),
                    Reg::HiveFilePath(Reg::Hive::LocalMachine).c_str());
        PrintDangling(L"printer", printers);
        PrintDangling(L"cash drawer", drawers);
        return kExitOk;
    }
    std::vector<Row> printerRows, drawerRows;
    if (Reg::Status s = PrinterRows(printers, printerRows); !s) return ReadFailed(s);
    if (Reg::Status s = DrawerRows(drawers, printers, drawerRows); !s) return ReadFailed(s);
    std::printf("Printers:%s\n", printers.entries.empty() ? " none" : "");
    if (!printers.entries.empty()) PrintTable(printerRows);
    std::printf("Cash drawers:%s\n", drawers.entries.empty() ? " none" : "");
    if (!drawers.entries.empty()) PrintTable(drawerRows);
    PrintDangling(L"printer", printers);
    PrintDangling(L"cash drawer", drawers);
    return kExitOk;
}

const QVO::Tools::CommandRegistration registration{"devices", "list the configured printers and cash drawers",
                                                   &RunDevices};

}  // namespace
