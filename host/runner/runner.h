// The stand-in host: loads the module as the host does and lets Lua scripts
// call its functions.
#pragma once

#include <string>
#include <vector>

#include "host/vantor_host.h"
#include "hostapi/host_value.h"
#include "module/entry_points.h"

struct lua_State;

// The module as loaded: the library handle and its entry points.
struct LoadedModule {
    void* library = nullptr;
    BYTE (*initModule)(HostContext*) = nullptr;
    int32_t (*exitModule)() = nullptr;
    const ModuleInfo* (*getModuleInfo)() = nullptr;
    const DefineEntry* (*getDefineTable)() = nullptr;
    const FunEntry* (*getFunTable)() = nullptr;
    BYTE (*initialize)() = nullptr;
    const ModuleInfo* info = nullptr;
    const DefineEntry* defines = nullptr;
    const FunEntry* functions = nullptr;
};

// Loads and reads the tables; on failure answers false with a message in error.
bool loadModule(const std::string& path, LoadedModule& module, std::string& error);
void unloadModule(LoadedModule& module);

// The host's window: answers message 1124 with the binary-variable services and
// takes the reports 1127 to 1129.
struct HostWindow {
    WindowRecord record{};
    HostContext context{};
    lua_State* lua = nullptr;
    int messageHandlerRef = -2;  // LUA_NOREF until a script installs one
    std::string pendingError;    // a failure inside the script's message handler
};

void initHostWindow(HostWindow& window, lua_State* lua);

// Binary variables of the host: bin() in a script makes one.
int32_t createBinaryVariable(const void* bytes, size_t length);
void releaseBinaryVariables();
int32_t binaryVariableLookup(const uint32_t* extraWord);
BinData* binaryVariableAccess(intptr_t index);

// Registers the module's defines and functions and the vantor table.
void installLuaBindings(lua_State* lua, LoadedModule& module, HostWindow& window);

// Exit statuses: 0 when everything ran to its end.
constexpr int RunnerScriptError = 1;
constexpr int RunnerUsageError = 2;  // also a module that does not load

// What is wrong with the option, then the usage line, on standard error
// (RunnerUsageError); the help on standard output (0).
int printUsage(const char* option, bool missingArgument);
int printHelp();

// Calls the function below its `arguments` on the stack with a traceback for
// errors; on an error writes "vantor-lua: <message>" to standard error and
// leaves nothing. LUA_OK or the error status.
int callReporting(lua_State* lua, int arguments, int results);

// The interactive prompt, as the lua interpreter's: "> " (">> " while a
// statement is incomplete), an expression's values printed with print,
// errors reported and the prompt going on, until standard input ends. With
// line editing when standard input is a terminal.
void runPrompt(lua_State* lua);
