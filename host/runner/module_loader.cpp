#include <dlfcn.h>

#include "host/runner/runner.h"

namespace {

template <typename T>
bool resolve(void* library, const char* name, T& target, std::string& error)
{
    target = reinterpret_cast<T>(dlsym(library, name));
    if (target == nullptr) {
        error = std::string("module does not export ") + name;
        return false;
    }
    return true;
}

}  // namespace

bool loadModule(const std::string& path, LoadedModule& module, std::string& error)
{
    module.library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module.library == nullptr) {
        const char* reason = dlerror();
        error = "cannot load module " + path + ": " + (reason != nullptr ? reason : "unknown error");
        return false;
    }
    if (!resolve(module.library, "VTR_InitModule", module.initModule, error) ||
        !resolve(module.library, "VTR_ExitModule", module.exitModule, error) ||
        !resolve(module.library, "VTR_GetModuleInfo", module.getModuleInfo, error) ||
        !resolve(module.library, "VTR_GetDefineTable", module.getDefineTable, error) ||
        !resolve(module.library, "VTR_GetFunTable", module.getFunTable, error) ||
        !resolve(module.library, "VTR_Initialize", module.initialize, error)) {
        unloadModule(module);
        return false;
    }
    module.info = module.getModuleInfo();
    module.defines = module.getDefineTable();
    module.functions = module.getFunTable();
    if (module.info == nullptr || module.defines == nullptr || module.functions == nullptr) {
        error = "module returned an empty table";
        unloadModule(module);
        return false;
    }
    return true;
}

void unloadModule(LoadedModule& module)
{
    if (module.library != nullptr)
        dlclose(module.library);
    module = LoadedModule();
}
