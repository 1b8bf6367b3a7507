// A Windows host of the module without Lua: loads snmp.dll as the host does,
// reads its tables, calls script functions through the function table with
// host values and a real (message-only) window, and reads variables from the
// agent on 127.0.0.1 at the port SNMPD_PORT names, over each community given.
//
//     test_host.exe COMMUNITY... (each "community=expected sysName")
//
// Exit status 0 when every step gave what it should, 1 otherwise.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "hostapi/host_messages.h"
#include "hostapi/host_value.h"
#include "module/module_tables.h"

namespace {

typedef BYTE (*InitModule)(HostContext*);
typedef int32_t (*ExitModule)();
typedef const ModuleInfo* (*GetModuleInfo)();
typedef const DefineEntry* (*GetDefineTable)();
typedef const FunEntry* (*GetFunTable)();
typedef BYTE (*Initialize)();

// An entry point by name; null when the DLL lacks it.
template <typename Function>
Function entry(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

int failures = 0;

void check(bool ok, const std::string& what)
{
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
    if (!ok)
        ++failures;
}

struct Message {
    UINT id;
    std::string text;
};
std::vector<Message> messages;

std::string takeText(WPARAM handle)
{
    const HGLOBAL block = reinterpret_cast<HGLOBAL>(handle);
    std::string text;
    if (const char* data = static_cast<const char*>(GlobalLock(block))) {
        text = data;
        GlobalUnlock(block);
    }
    GlobalFree(block);  // the host owns what the module sends
    return text;
}

LRESULT CALLBACK hostWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == HostMsgServices)
        return 0;  // no binary variables in this host
    if (message == HostMsgNotice || message == HostMsgError || message == HostMsgInvalidValue) {
        messages.push_back({message, takeText(wParam)});
        if (message == HostMsgError && lParam != 0)
            takeText(static_cast<WPARAM>(lParam));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HostValue stringValue(const char* text)
{
    HostValue value;
    value.type = HostTypeString;
    value.text = text;
    return value;
}

HostValue numberValue(double number)
{
    HostValue value;
    value.type = HostTypeNumber;
    value.number = number;
    return value;
}

struct Functions {
    const FunEntry* table;

    // Calls the named function with the arguments (the rest of the host's
    // sixteen stay empty); an empty result when the table lacks it.
    HostValue call(const char* name, std::vector<HostValue> arguments) const
    {
        arguments.resize(16);
        for (const FunEntry* row = table; row->name != nullptr; ++row) {
            if (std::strcmp(row->name, name) == 0)
                return row->handler(arguments.data(), row->id);
        }
        return HostValue();
    }
};

// The script functions through the table. Their results are gone when this
// returns: an empty text of the module's may point into it, and the module is
// unloaded afterwards.
void callFunctions(const FunEntry* rows, int port, int argc, char** argv)
{
    const Functions table{rows};
    const HostValue length = table.call("oidLength", {stringValue("system.5.0")});
    check(isNumberValue(length) && length.number == 9, "oidLength(\"system.5.0\") is 9");
    table.call("snmpgetEx", {stringValue("127.0.0.1"), numberValue(port), numberValue(0),
                             stringValue("public"), stringValue("1..2")});
    check(messages.size() == 1 && messages[0].id == HostMsgInvalidValue && messages[0].text == "1..2",
          "message 1129 through the window for an invalid OID");

    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const size_t equals = argument.rfind('=');
        const std::string community = argument.substr(0, equals);
        const std::string expected = argument.substr(equals + 1);
        const HostValue result = table.call("snmpgetEx", {stringValue("127.0.0.1"), numberValue(port),
                                                          numberValue(0), stringValue(community.c_str()),
                                                          stringValue("system.5.0")});
        const std::string got = isStringValue(result) ? result.text.GetString() : "(not a string)";
        check(got == expected, "sysName over " + community + ": " + got);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const char* port = std::getenv("SNMPD_PORT");
    if (port == nullptr) {
        std::fprintf(stderr, "test_host: SNMPD_PORT is not set\n");
        return 1;
    }
    HMODULE module = LoadLibraryA("snmp.dll");
    check(module != nullptr, "LoadLibrary snmp.dll");
    if (module == nullptr)
        return 1;
    const auto init = entry<InitModule>(module, "VTR_InitModule");
    const auto exit = entry<ExitModule>(module, "VTR_ExitModule");
    const auto info = entry<GetModuleInfo>(module, "VTR_GetModuleInfo");
    const auto defines = entry<GetDefineTable>(module, "VTR_GetDefineTable");
    const auto functions = entry<GetFunTable>(module, "VTR_GetFunTable");
    const auto initialize = entry<Initialize>(module, "VTR_Initialize");
    check(init && exit && info && defines && functions && initialize, "the six VTR_ entry points");
    if (!(init && exit && info && defines && functions && initialize))
        return 1;

    check(std::strcmp(info()->name, "SNMP") == 0 && info()->format == 2, "module information");
    int asnInteger = -1;
    for (const DefineEntry* row = defines(); row->name != nullptr; ++row) {
        if (std::strcmp(row->name, "ASN_INTEGER") == 0)
            asnInteger = row->value;
    }
    check(asnInteger == 2, "define table: ASN_INTEGER");

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = hostWindow;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "VantorTestHost";
    RegisterClassA(&windowClass);
    HostContext context = {};
    context.window = CreateWindowExA(0, "VantorTestHost", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     windowClass.hInstance, nullptr);
    check(context.window != nullptr, "message-only host window");
    check(initialize() != 0 && init(&context) != 0, "VTR_Initialize, VTR_InitModule");

    callFunctions(functions(), std::atoi(port), argc, argv);
    exit();
    DestroyWindow(context.window);
    FreeLibrary(module);
    std::printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
