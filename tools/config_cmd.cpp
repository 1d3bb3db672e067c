// `quvo config`: the configuration utility's dialogs for a terminal. It adds, modifies and
// deletes printer and cash-drawer entries, logical names and code pages under the same rules,
// with the same messages (Language.ini in the locale's language) and the same registry effects.
#include "tools/Command.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "setup/core/Codepage.h"
#include "setup/core/DrawerEntry.h"
#include "setup/core/LogicName.h"
#include "setup/core/PortList.h"
#include "setup/core/PrinterEntry.h"
#include "setup/core/SetupData.h"
#include "setup/core/TextUtil.h"

namespace {

using namespace QVO::Setup;
using QVO::Tools::kExitFailure;
using QVO::Tools::kExitOk;
using QVO::Tools::kExitUsage;

const char kUsage[] =
    "Usage: quvo config COMMAND ...\n"
    "Sets up printers and cash drawers as the OPOS Printer Setting program does, for machines\n"
    "without a desktop. Entries live under HKLM\\SOFTWARE\\OLEforRetail\\ServiceOPOS\n"
    "($QUVO_REGISTRY_DIR holds the hive files when set); messages come from Language.ini in the\n"
    "locale's language ($QUVO_SETUP_DATA_DIR, the program's folder, or the installed data).\n\n"
    "  list                                   the device tree: entries and their logical names\n"
    "  printer add --model MODEL [options]    a new printer entry (named MODEL_nn unless --name)\n"
    "  printer modify NAME [options]          change a printer entry (its code page is kept)\n"
    "  printer delete NAME                    remove an entry and its logical names\n"
    "  drawer add [--printer PRINTER] [options]\n"
    "  drawer modify NAME [options]\n"
    "  drawer delete NAME\n"
    "  name add printer|drawer DEVICE NAME    another logical name for a device\n"
    "  name rename printer|drawer OLD NEW\n"
    "  name delete printer|drawer NAME        (the last name of a device stays)\n"
    "  codepage DEVICE ID                     the printer's code page, one of Language.ini's list\n"
    "  ports [--assign DEVICE]                serial and parallel ports; --assign gives a device\n"
    "                                         node (/dev/ttyUSB0) a COMn/LPTn name\n\n"
    "Printer options: --name NAME, --logical-name NAME (add), --port usb|com|lpt|tcp/ip,\n"
    "  --com COMn, --baud 4800|9600|19200|38400|57600|115200, --lpt LPTn, --ip ADDRESS,\n"
    "  --notes TEXT\n"
    "Drawer options: --name NAME, --logical-name NAME (add), --printer PRINTER,\n"
    "  --drawers 1|2|both|none, --high MS, --low MS (0-255), --status on|off,\n"
    "  --voltage high|low, --wait-timeout MS\n\n"
    "Exit status: 0 done, 1 refused or failed (the message says why), 2 bad command line.\n";

using Options = std::map<std::string, std::wstring>;

struct Run {
    SetupContext context = SetupContext::FromEnvironment();

    // A message of Language.ini, or its key when the file lacks it.
    int Refuse(const std::wstring& key) const {
        std::wstring text = context.texts.Text(key);
        if (key == L"FormD_LastLogicName1") text += L" " + context.texts.Text(L"FormD_LastLogicName2");
        std::fprintf(stderr, "quvo config: %s\n", ToUtf8(Trim(text).empty() ? key : text).c_str());
        return kExitFailure;
    }
};

int Usage(const std::string& why) {
    std::fprintf(stderr, "quvo config: %s\nRun 'quvo config --help' for the commands.\n", why.c_str());
    return kExitUsage;
}

int Failed(const Status& s) {
    std::fprintf(stderr, "quvo config: the registry store failed: %s\n", s.message.c_str());
    return kExitFailure;
}

bool WantsHelp(int argc, char** argv) {
    for (int i = 0; i < argc; ++i)
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) return true;
    return false;
}

// Splits `--key value` pairs from positional words; false (with `bad`) on an unknown option.
bool ParseArgs(int argc, char** argv, const std::vector<std::string>& known, std::vector<std::wstring>& words,
               Options& options, std::string& bad) {
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0) {
            words.push_back(FromUtf8(arg));
            continue;
        }
        if (std::find(known.begin(), known.end(), arg) == known.end() || i + 1 >= argc) {
            bad = i + 1 >= argc && std::find(known.begin(), known.end(), arg) != known.end()
                      ? "option " + arg + " needs a value"
                      : "unknown option '" + arg + "'";
            return false;
        }
        options[arg] = FromUtf8(argv[++i]);
    }
    return true;
}

bool Take(const Options& o, const char* key, std::wstring& out) {
    const auto it = o.find(key);
    if (it == o.end()) return false;
    out = it->second;
    return true;
}

// Modify and delete act only on entries of this program, as the window's buttons do.
int CheckEntry(const Run& run, DeviceClass c, const std::wstring& name) {
    if (!DeviceExists(c, name)) return run.Refuse(L"FormD_MSG_NoEntry");
    if (!IsOwnEntry(c, name, run.context.info.dllFileName)) return run.Refuse(L"FormD_TIP_Unsupport");
    return kExitOk;
}

// The stored spelling of an entry name typed in another case.
std::wstring StoredName(DeviceClass c, const std::wstring& name) {
    for (const std::wstring& entry : RegKeyNames(ClassKey(c)))
        if (SameText(entry, name)) return entry;
    return name;
}

const std::vector<std::string> kPrinterOptions = {"--model", "--name", "--logical-name", "--port", "--com",
                                                  "--baud",  "--lpt",  "--ip",           "--notes"};

int ApplyPrinterOptions(const Options& o, PrinterForm& form) {
    std::wstring port;
    if (Take(o, "--port", port) && !PortKindFromText(port == L"tcp" ? L"TCP/IP" : port, form.port))
        return Usage("--port takes usb, com, lpt or tcp/ip");
    Take(o, "--name", form.name);
    Take(o, "--logical-name", form.logicName);
    Take(o, "--com", form.comPort);
    Take(o, "--baud", form.baudRate);
    Take(o, "--lpt", form.lptPort);
    Take(o, "--ip", form.ip);
    Take(o, "--notes", form.notes);
    return kExitOk;
}

int PrinterCommand(const Run& run, const std::wstring& action, const std::vector<std::wstring>& words,
                   const Options& o) {
    const OposInfo& info = run.context.info;
    if (action == L"add") {
        if (!words.empty()) return Usage("printer add takes options only");
        std::wstring model;
        if (!Take(o, "--model", model)) return Usage("printer add needs --model");
        PrinterForm form = NewPrinterForm(model);
        if (o.count("--name") && !o.count("--logical-name")) form.logicName = o.at("--name");
        if (int rc = ApplyPrinterOptions(o, form); rc != kExitOk) return rc;
        if (std::wstring refused = CheckPrinter(EditMode::Add, form, L"", info); !refused.empty())
            return run.Refuse(refused);
        if (Status s = SavePrinter(EditMode::Add, form, L"", info); !s) return Failed(s);
        std::printf("added printer %s (logical name %s)\n", ToUtf8(Trim(form.name)).c_str(),
                    ToUtf8(Trim(form.logicName)).c_str());
        return kExitOk;
    }
    if (words.size() != 1) return Usage("printer " + ToUtf8(action) + " needs the entry NAME");
    const std::wstring name = StoredName(DeviceClass::Printer, words[0]);
    if (int rc = CheckEntry(run, DeviceClass::Printer, name); rc != kExitOk) return rc;
    if (action == L"delete") {
        if (Status s = DeleteDevice(DeviceClass::Printer, name); !s) return Failed(s);
        std::printf("deleted printer %s\n", ToUtf8(name).c_str());
        return kExitOk;
    }
    if (action != L"modify") return Usage("printer takes add, modify or delete");
    if (o.count("--model") || o.count("--logical-name"))
        return Usage("the model and the logical name of an entry are not changed by modify");
    if (o.count("--name") && !info.PrinterRenameAllowed())
        return Usage("renaming printers is switched off (ModifyPrinterName in OPOSInfo.ini)");
    PrinterForm form = ReadPrinterForm(name);
    if (int rc = ApplyPrinterOptions(o, form); rc != kExitOk) return rc;
    if (std::wstring refused = CheckPrinter(EditMode::Modify, form, name, info); !refused.empty())
        return run.Refuse(refused);
    if (Status s = SavePrinter(EditMode::Modify, form, name, info); !s) return Failed(s);
    std::printf("modified printer %s\n", ToUtf8(info.PrinterRenameAllowed() ? Trim(form.name) : name).c_str());
    return kExitOk;
}

const std::vector<std::string> kDrawerOptions = {"--printer", "--name",   "--logical-name", "--drawers",     "--high",
                                                 "--low",     "--status", "--voltage",      "--wait-timeout"};

int ApplyDrawerOptions(const Options& o, DrawerForm& form) {
    std::wstring v;
    if (Take(o, "--drawers", v)) {
        if (v != L"1" && v != L"2" && v != L"both" && v != L"none") return Usage("--drawers takes 1, 2, both or none");
        form.drawer1 = v == L"1" || v == L"both";
        form.drawer2 = v == L"2" || v == L"both";
    }
    if (Take(o, "--status", v)) {
        if (v != L"on" && v != L"off") return Usage("--status takes on or off");
        form.queryStatus = v == L"on";
    }
    if (Take(o, "--voltage", v)) {
        if (v != L"high" && v != L"low") return Usage("--voltage takes high or low");
        form.firstVoltage = v == L"high";
    }
    Take(o, "--name", form.name);
    Take(o, "--logical-name", form.logicName);
    Take(o, "--printer", form.printer);
    Take(o, "--high", form.high);
    Take(o, "--low", form.low);
    Take(o, "--wait-timeout", form.waitTimeout);
    return kExitOk;
}

int DrawerCommand(const Run& run, const std::wstring& action, const std::vector<std::wstring>& words,
                  const Options& o) {
    const OposInfo& info = run.context.info;
    if (action == L"add") {
        if (!words.empty()) return Usage("drawer add takes options only");
        const std::vector<std::wstring> printers = DrawerPrinters(info);
        std::wstring printer = printers.empty() ? std::wstring() : printers.front();
        Take(o, "--printer", printer);
        DrawerForm form = NewDrawerForm(printer);
        if (o.count("--name") && !o.count("--logical-name")) form.logicName = o.at("--name");
        if (int rc = ApplyDrawerOptions(o, form); rc != kExitOk) return rc;
        if (std::wstring refused = CheckDrawer(EditMode::Add, form, L"", info); !refused.empty())
            return run.Refuse(refused);
        if (Status s = SaveDrawer(EditMode::Add, form, L"", info); !s) return Failed(s);
        std::printf("added cash drawer %s on printer %s (logical name %s)\n", ToUtf8(Trim(form.name)).c_str(),
                    ToUtf8(form.printer).c_str(), ToUtf8(Trim(form.logicName)).c_str());
        return kExitOk;
    }
    if (words.size() != 1) return Usage("drawer " + ToUtf8(action) + " needs the entry NAME");
    const std::wstring name = StoredName(DeviceClass::CashDrawer, words[0]);
    if (int rc = CheckEntry(run, DeviceClass::CashDrawer, name); rc != kExitOk) return rc;
    if (action == L"delete") {
        if (Status s = DeleteDevice(DeviceClass::CashDrawer, name); !s) return Failed(s);
        std::printf("deleted cash drawer %s\n", ToUtf8(name).c_str());
        return kExitOk;
    }
    if (action != L"modify") return Usage("drawer takes add, modify or delete");
    if (o.count("--logical-name")) return Usage("the logical name of an entry is not changed by modify");
    if (o.count("--name") && !info.DrawerRenameAllowed())
        return Usage("renaming cash drawers is switched off (ModifyCashDrawerName in OPOSInfo.ini)");
    DrawerForm form = ReadDrawerForm(name);
    if (int rc = ApplyDrawerOptions(o, form); rc != kExitOk) return rc;
    if (std::wstring refused = CheckDrawer(EditMode::Modify, form, name, info); !refused.empty())
        return run.Refuse(refused);
    if (Status s = SaveDrawer(EditMode::Modify, form, name, info); !s) return Failed(s);
    std::printf("modified cash drawer %s\n", ToUtf8(info.DrawerRenameAllowed() ? Trim(form.name) : name).c_str());
    return kExitOk;
}

bool ClassOf(const std::wstring& word, DeviceClass& c) {
    if (word == L"printer")
        c = DeviceClass::Printer;
    else if (word == L"drawer")
        c = DeviceClass::CashDrawer;
    else
        return false;
    return true;
}

int NameCommand(const Run& run, const std::wstring& action, const std::vector<std::wstring>& words) {
    DeviceClass c{};
    const size_t wanted = action == L"delete" ? 2 : 3;
    if (words.size() != wanted || !ClassOf(words[0], c))
        return Usage("name " + ToUtf8(action) + " takes printer|drawer and " + (wanted == 2 ? "NAME" : "two names"));
    LogicNameResult r;
    if (action == L"add") {
        const std::wstring device = StoredName(c, words[1]);
        if (int rc = CheckEntry(run, c, device); rc != kExitOk) return rc;
        r = SaveLogicName(c, device, EditMode::Add, L"", words[2]);
    } else if (action == L"rename" || action == L"delete") {
        const std::wstring device = RegReadText(ClassKey(c), words[1]);
        if (IsLogicNameFree(words[1], c) || device.empty()) return run.Refuse(L"FormD_MSG_NoEntry");
        if (int rc = CheckEntry(run, c, StoredName(c, device)); rc != kExitOk) return rc;
        r = action == L"rename" ? SaveLogicName(c, device, EditMode::Modify, words[1], words[2])
                                : DeleteLogicName(c, words[1]);
    } else {
        return Usage("name takes add, rename or delete");
    }
    if (!r.refusedKey.empty()) return run.Refuse(r.refusedKey);
    if (!r.status) return Failed(r.status);
    std::printf("logical name %s %s\n", ToUtf8(Trim(words.back())).c_str(), action == L"delete" ? "deleted" : "stored");
    return kExitOk;
}

int CodepageCommand(const Run& run, const std::vector<std::wstring>& words) {
    if (words.size() != 2) return Usage("codepage takes DEVICE and ID");
    const std::wstring device = StoredName(DeviceClass::Printer, words[0]);
    if (int rc = CheckEntry(run, DeviceClass::Printer, device); rc != kExitOk) return rc;
    const CodepageChoices choices = CodepageChoices::FromTexts(run.context.texts);
    if (std::find(choices.ids.begin(), choices.ids.end(), Trim(words[1])) == choices.ids.end())
        return run.Refuse(L"FormSetCodepage_IDErr");
    if (Status s = SetCodepage(device, Trim(words[1])); !s) return Failed(s);
    std::printf("code page of %s set to %s\n", ToUtf8(device).c_str(), ToUtf8(Trim(words[1])).c_str());
    return kExitOk;
}

int PortsCommand(const Options& o) {
    const auto env = QVO::IO::PortEnvironment::FromProcess();
    std::wstring device;
    if (Take(o, "--assign", device)) {
        std::wstring name;
        if (Status s = AssignPortName(env, ToUtf8(device), name); !s) {
            std::fprintf(stderr, "quvo config: %s\n", s.message.c_str());
            return kExitFailure;
        }
        std::printf("%s is %s\n", ToUtf8(device).c_str(), ToUtf8(name).c_str());
        return kExitOk;
    }
    for (const PortNode& node : EnumPortNodes(env))
        std::printf("  %-8s %s\n", node.name.empty() ? "-" : ToUtf8(node.name + L":").c_str(), node.device.c_str());
    return kExitOk;
}

void ListClass(DeviceClass c, const OposInfo& info) {
    std::printf("%s\n", ToUtf8(ClassName(c)).c_str());
    for (const std::wstring& entry : RegKeyNames(ClassKey(c))) {
        const std::wstring path = EntryKey(c, entry);
        std::wstring detail =
            c == DeviceClass::Printer
                ? RegReadText(path, L"PortType") + L" " + RegReadText(path, L"PortSettings") + L", code page " +
                      RegReadText(path, L"CodepageID")
                : L"on " + RegReadText(path, L"PrinterName") + L", pin " + RegReadText(path, L"DrawerPin");
        if (!IsOwnEntry(c, entry, info.dllFileName)) detail += L" (another service object's)";
        std::printf("  %s  %s\n", ToUtf8(entry).c_str(), ToUtf8(detail).c_str());
        for (const std::wstring& name : LogicNamesOf(entry, c)) std::printf("    %s\n", ToUtf8(name).c_str());
    }
}

int RunConfig(int argc, char** argv) {
    if (argc < 2) return Usage("missing command");
    if (WantsHelp(argc, argv)) return std::fputs(kUsage, stdout), kExitOk;
    const std::string command = argv[1];
    const bool device = command == "printer" || command == "drawer" || command == "name";
    if (device && argc < 3) return Usage(command + " needs an action");
    std::vector<std::wstring> words;
    Options options;
    std::string bad;
    const std::vector<std::string> known = command == "printer"  ? kPrinterOptions
                                           : command == "drawer" ? kDrawerOptions
                                           : command == "ports"  ? std::vector<std::string>{"--assign"}
                                                                 : std::vector<std::string>{};
    const int first = device ? 3 : 2;
    if (!ParseArgs(argc - first, argv + first, known, words, options, bad)) return Usage(bad);
    const std::wstring action = device ? FromUtf8(argv[2]) : std::wstring();
    if (command == "ports") return words.empty() ? PortsCommand(options) : Usage("ports takes --assign only");
    Run run;
    if (command == "list") {
        if (!words.empty()) return Usage("list takes no arguments");
        ListClass(DeviceClass::Printer, run.context.info);
        ListClass(DeviceClass::CashDrawer, run.context.info);
        return kExitOk;
    }
    if (command == "printer") return PrinterCommand(run, action, words, options);
    if (command == "drawer") return DrawerCommand(run, action, words, options);
    if (command == "name") return NameCommand(run, action, words);
    if (command == "codepage") return CodepageCommand(run, words);
    return Usage("unknown command '" + command + "'");
}

const QVO::Tools::CommandRegistration registration{"config", "add, change and delete printer and drawer entries",
                                                   &RunConfig};

}  // namespace
