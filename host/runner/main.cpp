// vantor-lua [--module PATH] SCRIPT [ARG...]
//
// Exit status: 0 when the script ran to its end, 1 on a script error, 2 on a
// usage or module-load error.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

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

int usage()
{
    std::fprintf(stderr, "usage: vantor-lua [--module PATH] SCRIPT [ARG...]\n");
    return 2;
}

int traceback(lua_State* L)
{
    const char* message = lua_tostring(L, 1);
    luaL_traceback(L, L, message != nullptr ? message : "(error object is not a string)", 1);
    return 1;
}

int runScript(lua_State* L, const char* script, int argc, char** argv, int first)
{
    lua_createtable(L, argc - first, 1);
    lua_pushstring(L, script);
    lua_rawseti(L, -2, 0);
    for (int i = first + 1; i < argc; ++i) {
        lua_pushstring(L, argv[i]);
        lua_rawseti(L, -2, i - first);
    }
    lua_setglobal(L, "arg");

    lua_pushcfunction(L, traceback);
    const int handler = lua_gettop(L);
    if (luaL_loadfile(L, script) != LUA_OK || lua_pcall(L, 0, 0, handler) != LUA_OK) {
        const char* message = lua_tostring(L, -1);
        std::fprintf(stderr, "vantor-lua: %s\n", message != nullptr ? message : "script error");
        lua_pop(L, 1);
        return 1;
    }
    lua_pop(L, 1);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string modulePath = ownFolder() + "/snmp.so";
    int first = 1;
    while (first < argc && std::strncmp(argv[first], "--", 2) == 0) {
        if (std::strcmp(argv[first], "--module") == 0 && first + 1 < argc) {
            modulePath = argv[first + 1];
            first += 2;
        } else if (std::strcmp(argv[first], "--") == 0) {
            ++first;
            break;
        } else {
            return usage();
        }
    }
    if (first >= argc)
        return usage();

    LoadedModule module;
    std::string error;
    if (!loadModule(modulePath, module, error)) {
        std::fprintf(stderr, "vantor-lua: %s\n", error.c_str());
        return 2;
    }

    lua_State* L = luaL_newstate();
    if (L == nullptr) {
        std::fprintf(stderr, "vantor-lua: cannot create the Lua state\n");
        unloadModule(module);
        return 2;
    }
    luaL_openlibs(L);

    static HostWindow window;
    initHostWindow(window, L);
    module.initModule(&window.context);
    module.initialize();
    installLuaBindings(L, module, window);

    const int status = runScript(L, argv[first], argc, argv, first);

    lua_close(L);
    window.lua = nullptr;
    module.exitModule();
    unloadModule(module);
    releaseBinaryVariables();
    std::fflush(stdout);
    return status;
}
