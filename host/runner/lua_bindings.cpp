// What a Lua script sees of the module and of its host.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <lua.hpp>

#include "host/runner/runner.h"

namespace {

const char* const BinaryTypeName = "vantor.bin";
const char* const RawValueTypeName = "vantor.value";

// The module reads argument indexes without knowing how many there are; the
// host always hands it at least this many, the rest empty.
const size_t MinimumArguments = 16;

struct BinaryHandle {
    uint32_t number;
};

struct RawValue {
    uint32_t type;
    double number;
    uint32_t extra;
};

HostWindow* windowOf(lua_State* L)
{
    return static_cast<HostWindow*>(lua_touserdata(L, lua_upvalueindex(2)));
}

// Fills one HostValue from the Lua value at index; answers an error text or empty.
std::string convertArgument(lua_State* L, int index, HostValue& value)
{
    switch (lua_type(L, index)) {
    case LUA_TNIL:
    case LUA_TNONE:
        return std::string();
    case LUA_TNUMBER:
        value.type = HostTypeNumber;
        value.number = lua_tonumber(L, index);
        return std::string();
    case LUA_TSTRING: {
        size_t length = 0;
        const char* text = lua_tolstring(L, index, &length);
        if (length > 0x3FFFFFFF)
            return "argument " + std::to_string(index) + " is too long";
        value.type = HostTypeString;
        value.text = CString(text, static_cast<int>(length));
        return std::string();
    }
    case LUA_TUSERDATA:
        if (auto* bin = static_cast<BinaryHandle*>(luaL_testudata(L, index, BinaryTypeName))) {
            value.type = HostTypeString;
            value.text = "BIN";
            value.extra = bin->number;
            return std::string();
        }
        if (auto* raw = static_cast<RawValue*>(luaL_testudata(L, index, RawValueTypeName))) {
            value.type = raw->type;
            value.number = raw->number;
            value.extra = raw->extra;
            lua_getiuservalue(L, index, 1);
            size_t length = 0;
            const char* text = lua_tolstring(L, -1, &length);
            if (text != nullptr)
                value.text = CString(text, static_cast<int>(length));
            lua_pop(L, 1);
            return std::string();
        }
        break;
    default:
        break;
    }
    return std::string("argument ") + std::to_string(index) + ": unsupported type " + luaL_typename(L, index);
}

void pushResult(lua_State* L, const HostValue& result)
{
    if ((result.type & 0xF000u) == HostTypeNumber) {
        const double n = result.number;
        if (std::isfinite(n) && n == std::floor(n) && n >= -9.2e18 && n <= 9.2e18)
            lua_pushinteger(L, static_cast<lua_Integer>(n));
        else
            lua_pushnumber(L, n);
    } else if (result.type == HostTypeString) {
        lua_pushlstring(L, result.text.GetString(), static_cast<size_t>(result.text.GetLength()));
    } else {
        lua_pushnil(L);
    }
}

// Calls handler with the Lua arguments from firstArg on. Pushes the result and
// answers true, or pushes an error message and answers false. No C++ object
// may be alive when the caller raises that error: lua_error does not unwind.
bool invokeHandler(lua_State* L, ScriptHandler handler, int32_t id, int firstArg)
{
    HostWindow* window = windowOf(L);
    std::string error;
    const int count = lua_gettop(L) - firstArg + 1;
    // A call of few arguments (all of a walk's) takes no heap block for them.
    HostValue fixed[MinimumArguments];
    std::vector<HostValue> more(count > static_cast<int>(MinimumArguments) ? static_cast<size_t>(count) : 0);
    HostValue* args = more.empty() ? fixed : more.data();
    for (int i = 0; i < count && error.empty(); ++i)
        error = convertArgument(L, firstArg + i, args[i]);
    if (error.empty()) {
        const HostValue result = handler(args, id);
        if (window->pendingError.empty()) {
            pushResult(L, result);
            return true;
        }
        error.swap(window->pendingError);
        window->pendingError.clear();
    }
    lua_pushlstring(L, error.data(), error.size());
    return false;
}

int callHandler(lua_State* L, ScriptHandler handler, int32_t id, int firstArg)
{
    if (!invokeHandler(L, handler, id, firstArg))
        return lua_error(L);
    return 1;
}

int callModuleFunction(lua_State* L)
{
    const FunEntry* row = static_cast<const FunEntry*>(lua_touserdata(L, lua_upvalueindex(1)));
    return callHandler(L, row->handler, row->id, 1);
}

// vantor.call_id(id, ...): the first row's handler with any id, for ids no row names.
int callById(lua_State* L)
{
    const FunEntry* row = static_cast<const FunEntry*>(lua_touserdata(L, lua_upvalueindex(1)));
    const lua_Integer id = luaL_checkinteger(L, 1);
    return callHandler(L, row->handler, static_cast<int32_t>(id), 2);
}

int makeBinary(lua_State* L)
{
    size_t length = 0;
    const char* bytes = luaL_checklstring(L, 1, &length);
    const int32_t number = createBinaryVariable(bytes, length);
    if (number < 0)
        return luaL_error(L, "cannot create a binary variable");
    auto* handle = static_cast<BinaryHandle*>(lua_newuserdatauv(L, sizeof(BinaryHandle), 0));
    handle->number = static_cast<uint32_t>(number);
    luaL_setmetatable(L, BinaryTypeName);
    return 1;
}

// vantor.value(type, number, text, extra): a host value exactly as given.
int makeRawValue(lua_State* L)
{
    const lua_Integer type = luaL_checkinteger(L, 1);
    const lua_Number number = luaL_optnumber(L, 2, 0.0);
    size_t length = 0;
    luaL_optlstring(L, 3, "", &length);
    const lua_Integer extra = luaL_optinteger(L, 4, 0);
    auto* raw = static_cast<RawValue*>(lua_newuserdatauv(L, sizeof(RawValue), 1));
    raw->type = static_cast<uint32_t>(type);
    raw->number = number;
    raw->extra = static_cast<uint32_t>(extra);
    if (lua_isnoneornil(L, 3))
        lua_pushliteral(L, "");
    else
        lua_pushvalue(L, 3);
    lua_setiuservalue(L, -2, 1);
    luaL_setmetatable(L, RawValueTypeName);
    return 1;
}

const LoadedModule* moduleOf(lua_State* L)
{
    return static_cast<const LoadedModule*>(lua_touserdata(L, lua_upvalueindex(1)));
}

int moduleInfo(lua_State* L)
{
    const ModuleInfo* info = moduleOf(L)->info;
    lua_createtable(L, 0, 8);
    auto setText = [L](const char* key, const char* text) {
        lua_pushstring(L, text != nullptr ? text : "");
        lua_setfield(L, -2, key);
    };
    lua_pushinteger(L, info->format);
    lua_setfield(L, -2, "format");
    setText("name", info->name);
    setText("version", info->version);
    lua_pushinteger(L, info->language);
    lua_setfield(L, -2, "language");
    setText("description", info->description);
    setText("author", info->author);
    setText("code", info->code);
    lua_pushinteger(L, info->reserved);
    lua_setfield(L, -2, "reserved");
    return 1;
}

int defineList(lua_State* L)
{
    lua_newtable(L);
    int n = 0;
    for (const DefineEntry* row = moduleOf(L)->defines; row->name != nullptr; ++row) {
        lua_createtable(L, 0, 2);
        lua_pushstring(L, row->name);
        lua_setfield(L, -2, "name");
        lua_pushinteger(L, row->value);
        lua_setfield(L, -2, "value");
        lua_rawseti(L, -2, ++n);
    }
    return 1;
}

int functionList(lua_State* L)
{
    lua_newtable(L);
    int n = 0;
    for (const FunEntry* row = moduleOf(L)->functions; row->name != nullptr; ++row) {
        lua_createtable(L, 0, 2);
        lua_pushstring(L, row->name);
        lua_setfield(L, -2, "name");
        lua_pushinteger(L, row->id);
        lua_setfield(L, -2, "id");
        lua_rawseti(L, -2, ++n);
    }
    return 1;
}

int onMessage(lua_State* L)
{
    HostWindow* window = static_cast<HostWindow*>(lua_touserdata(L, lua_upvalueindex(1)));
    if (!lua_isnoneornil(L, 1))
        luaL_checktype(L, 1, LUA_TFUNCTION);
    if (window->messageHandlerRef >= 0)
        luaL_unref(L, LUA_REGISTRYINDEX, window->messageHandlerRef);
    window->messageHandlerRef = LUA_NOREF;
    if (!lua_isnoneornil(L, 1)) {
        lua_pushvalue(L, 1);
        window->messageHandlerRef = luaL_ref(L, LUA_REGISTRYINDEX);
    }
    return 0;
}

}  // namespace

void installLuaBindings(lua_State* L, LoadedModule& module, HostWindow& window)
{
    luaL_newmetatable(L, BinaryTypeName);
    lua_pop(L, 1);
    luaL_newmetatable(L, RawValueTypeName);
    lua_pop(L, 1);

    for (const DefineEntry* row = module.defines; row->name != nullptr; ++row) {
        lua_pushinteger(L, row->value);
        lua_setglobal(L, row->name);
    }
    for (const FunEntry* row = module.functions; row->name != nullptr; ++row) {
        lua_pushlightuserdata(L, const_cast<FunEntry*>(row));
        lua_pushlightuserdata(L, &window);
        lua_pushcclosure(L, callModuleFunction, 2);
        lua_setglobal(L, row->name);
    }

    lua_pushcfunction(L, makeBinary);
    lua_setglobal(L, "bin");

    lua_newtable(L);
    const struct {
        const char* name;
        lua_CFunction function;
    } moduleFunctions[] = {{"module_info", moduleInfo}, {"defines", defineList}, {"functions", functionList}};
    for (const auto& entry : moduleFunctions) {
        lua_pushlightuserdata(L, &module);
        lua_pushcclosure(L, entry.function, 1);
        lua_setfield(L, -2, entry.name);
    }
    lua_pushlightuserdata(L, &window);
    lua_pushcclosure(L, onMessage, 1);
    lua_setfield(L, -2, "on_message");
    lua_pushcfunction(L, makeRawValue);
    lua_setfield(L, -2, "value");
    if (module.functions->name != nullptr) {
        lua_pushlightuserdata(L, const_cast<FunEntry*>(module.functions));
        lua_pushlightuserdata(L, &window);
        lua_pushcclosure(L, callById, 2);
        lua_setfield(L, -2, "call_id");
    }
    lua_setglobal(L, "vantor");
}
