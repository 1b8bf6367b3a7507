#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <lua.hpp>

#include "host/runner/runner.h"

#ifdef VANTOR_HAVE_EDITLINE
#include <editline/readline.h>
#endif

namespace {

// One line without its newline; false at the end of the input.
bool readLine(const char* prompt, std::string& line)
{
#ifdef VANTOR_HAVE_EDITLINE
    if (isatty(STDIN_FILENO)) {
        char* text = readline(prompt);
        if (text == nullptr)
            return false;
        line = text;
        if (text[0] != 0)
            add_history(text);
        std::free(text);
        return true;
    }
#endif
    std::fputs(prompt, stdout);
    std::fflush(stdout);
    line.clear();
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, stdin) != nullptr) {
        line += buffer;
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
            return true;
        }
    }
    return !line.empty();
}

// A syntax error at the end of the text: the statement goes on in the next line.
bool incomplete(lua_State* lua, int status)
{
    if (status != LUA_ERRSYNTAX)
        return false;
    size_t length = 0;
    const char* message = lua_tolstring(lua, -1, &length);
    const char end[] = "<eof>";
    return length >= sizeof end - 1 && std::strcmp(message + length - (sizeof end - 1), end) == 0;
}

// Loads the input as "return <line>" when that is an expression, else as a
// statement, reading more lines while it is incomplete. LUA_OK with the chunk
// on the stack, an error status with the message, or -1 at the end of input.
int loadInput(lua_State* lua)
{
    std::string line;
    if (!readLine("> ", line))
        return -1;
    const std::string expression = "return " + line;
    if (luaL_loadbuffer(lua, expression.data(), expression.size(), "=stdin") == LUA_OK)
        return LUA_OK;
    lua_pop(lua, 1);
    std::string chunk = line;
    for (;;) {
        const int status = luaL_loadbuffer(lua, chunk.data(), chunk.size(), "=stdin");
        if (!incomplete(lua, status))
            return status;
        lua_pop(lua, 1);
        if (!readLine(">> ", line))
            return luaL_loadbuffer(lua, chunk.data(), chunk.size(), "=stdin");
        chunk += "\n" + line;
    }
}

}  // namespace

void runPrompt(lua_State* lua)
{
    for (;;) {
        const int base = lua_gettop(lua);
        const int status = loadInput(lua);
        if (status == -1)
            break;
        if (status != LUA_OK) {
            std::fprintf(stderr, "vantor-lua: %s\n", lua_tostring(lua, -1));
            lua_settop(lua, base);
            continue;
        }
        if (callReporting(lua, 0, LUA_MULTRET) == LUA_OK) {
            const int results = lua_gettop(lua) - base;
            if (results > 0) {
                lua_getglobal(lua, "print");
                lua_insert(lua, base + 1);
                if (lua_pcall(lua, results, 0, 0) != LUA_OK)
                    std::fprintf(stderr, "vantor-lua: error calling 'print' (%s)\n", lua_tostring(lua, -1));
            }
        }
        lua_settop(lua, base);
    }
    std::fputs("\n", stdout);
    std::fflush(stdout);
}
