// The one way tests load a plug-in file: as a host loads a deliverable
// (dlopen, or LoadLibrary on Windows) and finds its two exports. Build-tree
// paths are Unix paths; under Wine they are reached through the Z: drive.
#pragma once

#include "framework/host_interface.h"

#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace qem::test {

class PluginLibrary {
public:
    explicit PluginLibrary(std::string path) : path_(std::move(path)) {
#if defined(_WIN32)
        std::string native = path_;
        if (!native.empty() && native[0] == '/') {
            native = "Z:" + native;
            for (char& c : native)
                if (c == '/') c = '\\';
        }
        handle_ = LoadLibraryA(native.c_str());
#else
        handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
        getModuleProperties = reinterpret_cast<GetModulePropertiesFn>(symbol("getModuleProperties"));
        makeModule = reinterpret_cast<MakeModuleFn>(symbol("makeModule"));
    }
    ~PluginLibrary() {
        if (handle_ == nullptr) return;
#if defined(_WIN32)
        FreeLibrary(static_cast<HMODULE>(handle_));
#else
        dlclose(handle_);
#endif
    }
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    const std::string& path() const { return path_; }
    // An export by name, or null.
    void* symbol(const char* name) const {
        if (handle_ == nullptr) return nullptr;
#if defined(_WIN32)
        // Through void(*)(): FARPROC's own type says nothing about the export's.
        return reinterpret_cast<void*>(
            reinterpret_cast<void (*)()>(GetProcAddress(static_cast<HMODULE>(handle_), name)));
#else
        return dlsym(handle_, name);
#endif
    }

    GetModulePropertiesFn getModuleProperties = nullptr;
    MakeModuleFn makeModule = nullptr;

private:
    std::string path_;
    void* handle_ = nullptr;
};

} // namespace qem::test
