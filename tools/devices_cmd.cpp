// `quvo devices`: lists the configured printers and cash drawers of the registry store with
// their model, port, code page and the logical names that lead to them; as a table, or with
// --json as one JSON object per device and line.
#include "tools/Command.h"

#include "platform/registry/RegText.h"
#include "platform/registry/Registry.h"
#include "tools/JsonLine.h"

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
    "Usage: quvo devices [--json]\n"
    "Lists the printers and cash drawers configured under\n"
    "HKLM\\SOFTWARE\\OLEforRetail\\ServiceOPOS: for a printer its entry name, model, port type\n"
    "and settings, code page and the logical names leading to it; for a drawer the printer it\n"
    "hangs on and its drawer pin. The hive files are in $QUVO_REGISTRY_DIR when set.\n"
    "With --json it prints one JSON object per device and line (UTF-8), printers first:\n"
    "  printer  kind \"printer\", entry, logicalNames (an array), model, portType,\n"
    "           portSettings, codePage\n"
    "  drawer   kind \"drawer\", entry, logicalNames, printer, printerConfigured (false when\n"
    "           no such printer entry exists), drawerPin\n"
    "A value is a string as stored, null when missing, a number when stored as a DWORD (which\n"
    "the service object does not read). No devices: no output. Logical names that lead to no\n"
    "entry are reported on standard error.\n"
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

// A value as the store holds it. The service object reads text only, so a number
// (hand-edited stores hold DWORDs) is kept apart; any other type counts as missing.
struct Setting {
    enum class Form { Missing, Text, Number } form = Form::Missing;
    std::wstring text;
    uint32_t number = 0;
};

Setting ReadSetting(const Reg::Key& key, std::wstring_view name) {
    Reg::Value v;
    if (!key.QueryValue(name, v)) return {};
    switch (v.type) {
        case Reg::ValueType::String:
        case Reg::ValueType::ExpandString:
            return {Setting::Form::Text, v.text, 0};
        case Reg::ValueType::DWord:
            return {Setting::Form::Number, {}, v.dword};
        default:
            return {};
    }
}

// Text as it is, anything missing or empty as "-", a number with its type.
std::wstring ValueText(const Setting& s) {
    switch (s.form) {
        case Setting::Form::Text:
            return s.text.empty() ? kNone : s.text;
        case Setting::Form::Number:
            return std::to_wstring(s.number) + L" (REG_DWORD)";
        case Setting::Form::Missing:
            break;
    }
    return kNone;
}

// A string, a JSON number for a number (which the service object does not read), or null.
void AddSetting(QVO::Tools::JsonObject& line, std::string_view key, const Setting& s) {
    switch (s.form) {
        case Setting::Form::Text:
            line.String(key, s.text);
            return;
        case Setting::Form::Number:
            line.Number(key, s.number);
            return;
        case Setting::Form::Missing:
            line.Null(key);
            return;
    }
}

std::vector<std::wstring> LogicalNamesOf(const DeviceClass& c, const std::wstring& entry) {
    std::vector<std::wstring> names;
    for (const auto& [name, target] : c.logicalNames)
        if (SameName(target, entry)) names.push_back(name);
    return names;
}

std::wstring JoinedNames(const std::vector<std::wstring>& names) {
    std::wstring text;
    for (const auto& name : names) text += (text.empty() ? L"" : L", ") + name;
    return text.empty() ? kNone : text;
}

bool HasEntry(const DeviceClass& c, std::wstring_view entry) {
    return std::any_of(c.entries.begin(), c.entries.end(), [&](const auto& e) { return SameName(e, entry); });
}

Reg::Status OpenEntry(const std::wstring& deviceClass, const std::wstring& entry, Reg::Key& key) {
    return Reg::Key::Open(Reg::Hive::LocalMachine, kServiceOpos + L"\\" + deviceClass + L"\\" + entry, key);
}

struct PrinterInfo {
    std::wstring entry;
    Setting model, portType, portSettings, codePage;
    std::vector<std::wstring> logicalNames;
};

struct DrawerInfo {
    std::wstring entry;
    Setting printer, pin;
    bool printerConfigured = false;
    std::vector<std::wstring> logicalNames;
};

Reg::Status ReadPrinters(const DeviceClass& printers, std::vector<PrinterInfo>& out) {
    for (const auto& entry : printers.entries) {
        Reg::Key key;
        if (Reg::Status s = OpenEntry(kPrinterClass, entry, key); !s) {
            if (s.error == Reg::Error::NotFound) continue;  // removed since it was listed
            return s;
        }
        out.push_back({entry, ReadSetting(key, L"DriverModel"), ReadSetting(key, L"PortType"),
                       ReadSetting(key, L"PortSettings"), ReadSetting(key, L"CodepageID"),
                       LogicalNamesOf(printers, entry)});
    }
    return {};
}

Reg::Status ReadDrawers(const DeviceClass& drawers, const DeviceClass& printers, std::vector<DrawerInfo>& out) {
    for (const auto& entry : drawers.entries) {
        Reg::Key key;
        if (Reg::Status s = OpenEntry(kDrawerClass, entry, key); !s) {
            if (s.error == Reg::Error::NotFound) continue;  // removed since it was listed
            return s;
        }
        DrawerInfo info;
        info.entry = entry;
        info.printer = ReadSetting(key, L"PrinterName");
        info.pin = ReadSetting(key, L"DrawerPin");
        info.printerConfigured = info.printer.form == Setting::Form::Text && !info.printer.text.empty() &&
                                 HasEntry(printers, info.printer.text);
        info.logicalNames = LogicalNamesOf(drawers, entry);
        out.push_back(std::move(info));
    }
    return {};
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

std::vector<Row> PrinterRows(const std::vector<PrinterInfo>& printers) {
    std::vector<Row> rows{{L"ENTRY", L"MODEL", L"PORT", L"CODE PAGE", L"LOGICAL NAMES"}};
    for (const PrinterInfo& p : printers) {
        std::wstring port = ValueText(p.portType);
        if (std::wstring settings = ValueText(p.portSettings); settings != kNone) port += L" " + settings;
        rows.push_back({p.entry, ValueText(p.model), port, ValueText(p.codePage), JoinedNames(p.logicalNames)});
    }
    return rows;
}

std::vector<Row> DrawerRows(const std::vector<DrawerInfo>& drawers) {
    std::vector<Row> rows{{L"ENTRY", L"PRINTER", L"PIN", L"LOGICAL NAMES"}};
    for (const DrawerInfo& d : drawers) {
        std::wstring printer = ValueText(d.printer);
        if (printer != kNone && !d.printerConfigured) printer += L" (no such printer)";
        rows.push_back({d.entry, printer, ValueText(d.pin), JoinedNames(d.logicalNames)});
    }
    return rows;
}

// One line, flushed at once: a reader of many terminals' output may be waiting for it.
void PrintJsonLine(const QVO::Tools::JsonObject& line) {
    std::printf("%s\n", line.Text().c_str());
    std::fflush(stdout);
}

void PrintJson(const std::vector<PrinterInfo>& printers, const std::vector<DrawerInfo>& drawers) {
    for (const PrinterInfo& p : printers) {
        QVO::Tools::JsonObject line;
        line.String("kind", "printer").String("entry", p.entry).StringArray("logicalNames", p.logicalNames);
        AddSetting(line, "model", p.model);
        AddSetting(line, "portType", p.portType);
        AddSetting(line, "portSettings", p.portSettings);
        AddSetting(line, "codePage", p.codePage);
        PrintJsonLine(line);
    }
    for (const DrawerInfo& d : drawers) {
        QVO::Tools::JsonObject line;
        line.String("kind", "drawer").String("entry", d.entry).StringArray("logicalNames", d.logicalNames);
        AddSetting(line, "printer", d.printer);
        line.Boolean("printerConfigured", d.printerConfigured);
        AddSetting(line, "drawerPin", d.pin);
        PrintJsonLine(line);
    }
}

// Logical names whose entry is gone: opening them fails, so say so here (on stderr in JSON
// mode, where standard output holds device objects only).
void PrintDangling(std::FILE* to, const wchar_t* what, const DeviceClass& c) {
    for (const auto& [name, target] : c.logicalNames)
        if (!HasEntry(c, target))
            std::fprintf(to, "%slogical name %s leads to %s, which is not a configured %s\n",
                         to == stderr ? "quvo devices: " : "", Reg::Text::EncodeUtf8(name).c_str(),
                         Reg::Text::EncodeUtf8(target).c_str(), Reg::Text::EncodeUtf8(what).c_str());
}

int ReadFailed(const Reg::Status& s) {
    std::fprintf(stderr, "quvo devices: cannot read the registry store: %s\n", s.message.c_str());
    return kExitFailure;
}

// kExitOk when the options parse (or help was asked for and printed: then `done` is set).
int ParseOptions(int argc, char** argv, bool& json, bool& done) {
    json = done = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kUsage, stdout);
            done = true;
            return kExitOk;
        }
        if (!std::strcmp(argv[i], "--json")) {
            json = true;
            continue;
        }
        std::fprintf(stderr, "quvo devices: %s '%s'\n%s", argv[i][0] == '-' ? "unknown option" : "unexpected argument",
                     argv[i], kUsage);
        return kExitUsage;
    }
    return kExitOk;
}

void PrintText(const DeviceClass& printers, const DeviceClass& drawers, const std::vector<PrinterInfo>& printerInfo,
               const std::vector<DrawerInfo>& drawerInfo) {
    if (printers.entries.empty() && drawers.entries.empty()) {
        std::printf("no devices configured (HKLM\\%s in %s)\n", Reg::Text::EncodeUtf8(kServiceOpos).c_str(),
                    Reg::HiveFilePath(Reg::Hive::LocalMachine).c_str());
    } else {
        std::printf("Printers:%s\n", printers.entries.empty() ? " none" : "");
        if (!printers.entries.empty()) PrintTable(PrinterRows(printerInfo));
        std::printf("Cash drawers:%s\n", drawers.entries.empty() ? " none" : "");
        if (!drawers.entries.empty()) PrintTable(DrawerRows(drawerInfo));
    }
    PrintDangling(stdout, L"printer", printers);
    PrintDangling(stdout, L"cash drawer", drawers);
}

int RunDevices(int argc, char** argv) {
    bool json = false, done = false;
    if (int rc = ParseOptions(argc, argv, json, done); rc != kExitOk || done) return rc;
    DeviceClass printers, drawers;
    if (Reg::Status s = ReadClass(kPrinterClass, printers); !s) return ReadFailed(s);
    if (Reg::Status s = ReadClass(kDrawerClass, drawers); !s) return ReadFailed(s);
    std::vector<PrinterInfo> printerInfo;
    std::vector<DrawerInfo> drawerInfo;
    if (Reg::Status s = ReadPrinters(printers, printerInfo); !s) return ReadFailed(s);
    if (Reg::Status s = ReadDrawers(drawers, printers, drawerInfo); !s) return ReadFailed(s);
    if (!json) {
        PrintText(printers, drawers, printerInfo, drawerInfo);
        return kExitOk;
    }
    PrintJson(printerInfo, drawerInfo);
    PrintDangling(stderr, L"printer", printers);
    PrintDangling(stderr, L"cash drawer", drawers);
    return kExitOk;
}

const QVO::Tools::CommandRegistration registration{"devices", "list the configured printers and cash drawers",
                                                   &RunDevices};

}  // namespace
