#include "host/PluginModule.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "host/ApiNames.h"
#include "host/ExitGuard.h"
#include "host/HostError.h"

namespace vhost {

namespace {

// A path as the user typed it: "My.so" is the file in the current folder, not
// a name for the dynamic linker to look up in the library path.
std::string AsFilePath(const std::string& path) {
    return path.find('/') == std::string::npos ? "./" + path : path;
}

}  // namespace

PluginModule::PluginModule(const std::string& path) : path_(path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        throw HostError("plug-in module '" + path + "' not found (use --module PATH or set VELLORA_MODULE)");
    }
    if (!S_ISREG(info.st_mode)) {
        throw HostError("plug-in module '" + path + "' is not a regular file");
    }
    // RTLD_LOCAL keeps the module's symbols out of everyone else's way.
    {
        ExitGuard guard("plug-in module '" + path + "'", "while being loaded");
        handle_ = ::dlopen(AsFilePath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!handle_) {
        const char* why = ::dlerror();
        throw HostError("cannot load plug-in module '" + path + "': " + (why ? why : "unknown error"));
    }
    ::dlerror();
    entry_ = reinterpret_cast<EntryPointFuncPtr>(::dlsym(handle_, "EntryPointFunc"));
    if (!entry_) {
        ::dlclose(handle_);
        handle_ = nullptr;
        throw HostError("'" + path + "' is not an effect plug-in: it exports no EntryPointFunc");
    }
}

PluginModule::PluginModule(EntryPointFuncPtr entry, const std::string& name) : path_(name), entry_(entry) {
    if (!entry_) {
        throw HostError("'" + name + "' has no entry point");
    }
}

PluginModule::~PluginModule() {
    if (handle_) ::dlclose(handle_);
}

PF_Err PluginModule::Call(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                          PF_LayerDef* output, void* extra) const {
    const char* name = CommandName(cmd);
    ExitGuard guard("plug-in module '" + path_ + "'", "during " + (name ? std::string(name) : "command " + std::to_string(cmd)));
    return entry_(cmd, in_data, out_data, params, output, extra);
}

void* PluginModule::Symbol(const char* name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

#ifndef VELLORA_MODULE_FROM_BINDIR
#define VELLORA_MODULE_FROM_BINDIR "../lib/vellora"
#endif

const char* const kInstalledModuleDir = VELLORA_MODULE_FROM_BINDIR;

std::string DefaultModulePath() {
    if (const char* env = std::getenv("VELLORA_MODULE"); env && *env) {
        return env;
    }
    std::vector<char> buffer(4096);
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) {
        return "Vellora.so";
    }
    std::string exe(buffer.data(), static_cast<size_t>(n));
    const auto slash = exe.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
    // The build tree has it beside the command, an installation in its own folder.
    const std::string beside = dir + "/Vellora.so";
    const std::string installed = dir + "/" + kInstalledModuleDir + "/Vellora.so";
    struct stat st {};
    if (::stat(beside.c_str(), &st) != 0 && ::stat(installed.c_str(), &st) == 0) {
        // Named without the "bin/../" in messages and `vellora info`.
        std::vector<char> resolved(PATH_MAX);
        return ::realpath(installed.c_str(), resolved.data()) ? std::string(resolved.data()) : installed;
    }
    return beside;
}

}  // namespace vhost
