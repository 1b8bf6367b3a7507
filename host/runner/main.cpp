// vantor-lua [options] [script [args]]: the lua interpreter's command line
// (-e, -l, -i, -v, -E, -W, -, --, and LUA_INIT), with the module loaded before
// anything runs and unloaded at the end; --module PATH, --dump and -h of its own.
//
// Exit status: 0 when everything ran to its end, 1 on a script error, 2 on a
// usage or module-load error.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <lua.hpp>

#include "host/runner/runner.h"

namespace {

std::string ownFolder()
{
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    path[n] = 0;
    std::string full(path);
    const size_t slash = full.rfind('/');
    return slash == std::string::npos ? "." : full.substr(0, slash);
}

// One -e, -l or -W, in the order given.
struct Action {
    char option;  // 'e', 'l' or 'W'
    const char* text;  // null for -W
};

struct CommandLine {
    std::string modulePath;
    std::vector<Action> actions;
    bool interactive = false;
    bool version = false;
    bool dump = false;
    bool help = false;
    bool ignoreEnvironment = false;  // -E
    int script = 0;  // index of the script in argv ("-" for standard input); 0: none
};

// A wrong command line: the option as given, and whether it lacks its
// argument (otherwise it is not known).
struct UsageError {
    const char* option = nullptr;
    bool missingArgument = false;
};

UsageError unknownOption(const char* option) { return {option, false}; }
UsageError missingArgument(const char* option) { return {option, true}; }

// Parses argv as lua does: options until the script (or "-" or "--").
// Answers the offending option of a usage error, or none.
UsageError parse(int argc, char** argv, CommandLine& line)
{
    int i = 1;
    for (; i < argc; ++i) {
        const char* a = argv[i];
        if (a[0] != '-' || std::strcmp(a, "-") == 0)
            break;  // the script, or standard input
        if (std::strcmp(a, "--") == 0) {
            ++i;
            break;
        }
        if (std::strcmp(a, "--module") == 0 || std::strcmp(a, "--dump") == 0 || std::strcmp(a, "--help") == 0) {
            if (a[2] == 'm') {
                if (++i >= argc)
                    return missingArgument(a);
                line.modulePath = argv[i];
            } else if (a[2] == 'd') {
                line.dump = true;
            } else {
                line.help = true;
            }
            continue;
        }
        switch (a[1]) {
        case 'e':
        case 'l': {
            // The text follows at once (-eCHUNK) or as the next argument,
            // which lua does not take when it looks like an option.
            const char* text = a[2] != 0 ? a + 2 : (i + 1 < argc && argv[i + 1][0] != '-' ? argv[++i] : nullptr);
            if (text == nullptr)
                return missingArgument(a);
            line.actions.push_back({a[1], text});
            break;
        }
        case 'i':
        case 'v':
        case 'h':
        case 'E':
        case 'W':
            if (a[2] != 0)
                return unknownOption(a);
            line.interactive |= a[1] == 'i';
            line.version |= a[1] == 'v' || a[1] == 'i';
            line.help |= a[1] == 'h';
            line.ignoreEnvironment |= a[1] == 'E';
            if (a[1] == 'W')
                line.actions.push_back({'W', nullptr});
            break;
        default:
            return unknownOption(a);
        }
    }
    line.script = i < argc ? i : 0;
    return {};
}

int traceback(lua_State* L)
{
    const char* message = lua_tostring(L, 1);
    if (message == nullptr && luaL_callmeta(L, 1, "__tostring") && lua_type(L, -1) == LUA_TSTRING)
        return 1;
    luaL_traceback(L, L, message != nullptr ? message : "(error object is not a string)", 1);
    return 1;
}

// arg as lua builds it: the script at 0, its arguments after it, the runner
// and its options at negative indexes.
void setArgTable(lua_State* L, int argc, char** argv, int script)
{
    lua_createtable(L, argc - script, script + 1);
    for (int i = 0; i < argc; ++i) {
        lua_pushstring(L, argv[i]);
        lua_rawseti(L, -2, i - script);
    }
    lua_setglobal(L, "arg");
}

int reportLoad(lua_State* L)
{
    std::fprintf(stderr, "vantor-lua: %s\n", lua_tostring(L, -1));
    lua_pop(L, 1);
    return RunnerScriptError;
}

// LUA_INIT_5_4, or else LUA_INIT: a chunk, or @ and the file to run.
int runInitVariable(lua_State* L)
{
    const char* name = "=LUA_INIT_" LUA_VERSION_MAJOR "_" LUA_VERSION_MINOR;
    const char* init = std::getenv(name + 1);
    if (init == nullptr) {
        name = "=LUA_INIT";
        init = std::getenv(name + 1);
    }
    if (init == nullptr)
        return 0;
    const int loaded = init[0] == '@' ? luaL_loadfile(L, init + 1) : luaL_loadbuffer(L, init, std::strlen(init), name);
    if (loaded != LUA_OK)
        return reportLoad(L);
    return callReporting(L, 0, 0) == LUA_OK ? 0 : RunnerScriptError;
}

int runAction(lua_State* L, const Action& action)
{
    if (action.option == 'W') {
        lua_warning(L, "@on", 0);
        return 0;
    }
    if (action.option == 'e') {
        if (luaL_loadbuffer(L, action.text, std::strlen(action.text), "=(command line)") != LUA_OK)
            return reportLoad(L);
        return callReporting(L, 0, 0) == LUA_OK ? 0 : RunnerScriptError;
    }
    // -l name, or -l global=module.
    const char* equals = std::strchr(action.text, '=');
    const std::string global = equals != nullptr ? std::string(action.text, equals) : action.text;
    const char* module = equals != nullptr ? equals + 1 : action.text;
    lua_getglobal(L, "require");
    lua_pushstring(L, module);
    if (callReporting(L, 1, 1) != LUA_OK)
        return RunnerScriptError;
    lua_setglobal(L, global.c_str());
    return 0;
}

int runScript(lua_State* L, int argc, char** argv, int script)
{
    const char* name = argv[script];
    const bool standardInput = std::strcmp(name, "-") == 0 && std::strcmp(argv[script - 1], "--") != 0;
    if (luaL_loadfile(L, standardInput ? nullptr : name) != LUA_OK)
        return reportLoad(L);
    // The script's arguments are its chunk's arguments too (...).
    for (int i = script + 1; i < argc; ++i)
        lua_pushstring(L, argv[i]);
    return callReporting(L, argc - script - 1, 0) == LUA_OK ? 0 : RunnerScriptError;
}

void printVersion(const LoadedModule& module)
{
    std::printf("%s; module %s %s (%s)\n", LUA_COPYRIGHT, module.info->name, module.info->version,
                module.info->description);
    std::fflush(stdout);
}

int run(lua_State* L, const CommandLine& line, int argc, char** argv, const LoadedModule& module)
{
    setArgTable(L, argc, argv, line.script);
    if (line.version)
        printVersion(module);
    if (!line.ignoreEnvironment) {
        const int status = runInitVariable(L);
        if (status != 0)
            return status;
    }
    for (const Action& action : line.actions) {
        const int status = runAction(L, action);
        if (status != 0)
            return status;
    }
    if (line.script != 0) {
        const int status = runScript(L, argc, argv, line.script);
        if (status != 0)
            return status;
    }
    if (line.interactive) {
        runPrompt(L);
    } else if (line.script == 0 && line.actions.empty() && !line.version) {
        // Nothing to run: a prompt at a terminal, standard input otherwise.
        if (isatty(STDIN_FILENO)) {
            printVersion(module);
            runPrompt(L);
        } else if (luaL_loadfile(L, nullptr) != LUA_OK) {
            return reportLoad(L);
        } else if (callReporting(L, 0, 0) != LUA_OK) {
            return RunnerScriptError;
        }
    }
    return 0;
}

}  // namespace

int callReporting(lua_State* L, int arguments, int results)
{
    const int function = lua_gettop(L) - arguments;
    lua_pushcfunction(L, traceback);
    lua_insert(L, function);
    const int status = lua_pcall(L, arguments, results, function);
    lua_remove(L, function);
    if (status != LUA_OK) {
        const char* message = lua_tostring(L, -1);
        std::fprintf(stderr, "vantor-lua: %s\n", message != nullptr ? message : "script error");
        lua_pop(L, 1);
    }
    return status;
}

int main(int argc, char** argv)
{
    CommandLine line;
    line.modulePath = ownFolder() + "/snmp.so";
    const UsageError wrong = parse(argc, argv, line);
    if (wrong.option != nullptr)
        return printUsage(wrong.option, wrong.missingArgument);
    if (line.help)
        return printHelp();
    // The module reads it when the host initialises it.
    if (line.dump)
        setenv(DatagramDumpVariable, "1", 1);

    LoadedModule module;
    std::string error;
    if (!loadModule(line.modulePath, module, error)) {
        std::fprintf(stderr, "vantor-lua: %s\n", error.c_str());
        return RunnerUsageError;
    }

    lua_State* L = luaL_newstate();
    if (L == nullptr) {
        std::fprintf(stderr, "vantor-lua: cannot create the Lua state\n");
        unloadModule(module);
        return RunnerUsageError;
    }
    // The package library then leaves LUA_PATH and LUA_CPATH unread.
    if (line.ignoreEnvironment) {
        lua_pushboolean(L, 1);
        lua_setfield(L, LUA_REGISTRYINDEX, "LUA_NOENV");
    }
    luaL_openlibs(L);

    static HostWindow window;
    initHostWindow(window, L);
    module.initModule(&window.context);
    module.initialize();
    installLuaBindings(L, module, window);

    const int status = run(L, line, argc, argv, module);

    lua_close(L);
    window.lua = nullptr;
    module.exitModule();
    unloadModule(module);
    releaseBinaryVariables();
    std::fflush(stdout);
    return status;
}
