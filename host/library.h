// A deliverable file loaded into the host: its two exports and the module
// description it reports. Loading checks everything the host relies on
// before a module is driven; each failure is one LoadError naming the file
// and the cause.
#pragma once

#include "framework/host_interface.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace qem::host {

// A file that cannot serve as a deliverable. what() is one line:
// "<file>: <cause>".
class LoadError : public std::runtime_error {
public:
    LoadError(const std::string& file, const std::string& cause)
        : std::runtime_error(file + ": " + cause), file_(file), cause_(cause) {}
    const std::string& file() const { return file_; }
    const std::string& cause() const { return cause_; }

private:
    std::string file_;
    std::string cause_;
};

// The module description as getModuleProperties(0) reported it, copied
// at load (texts read only up to a bound).
struct ModuleInfo {
    std::string name;
    std::string identifier;
    std::string about;
    std::int32_t flags = 0;
    std::int32_t interfaceVersion = 0;
    std::int32_t hostReserved = 0;
};

class Library {
public:
    // Loads the file (dlopen, or LoadLibrary on Windows), finds the two
    // exports and reads the description. Throws LoadError.
    static std::unique_ptr<Library> load(const std::string& path);
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    const std::string& path() const { return path_; }
    const ModuleInfo& info() const { return info_; }
    GetModulePropertiesFn getModuleProperties() const { return getModuleProperties_; }
    MakeModuleFn makeModule() const { return makeModule_; }

private:
    Library() = default;
    std::string path_;
    void* handle_ = nullptr;
    GetModulePropertiesFn getModuleProperties_ = nullptr;
    MakeModuleFn makeModule_ = nullptr;
    ModuleInfo info_;
};

// A path as the platform's loader and file functions want it. Under Wine a
// Unix path ("/work/x.sep") becomes its DOS form ("Z:\work\x.sep");
// elsewhere the path is returned as it is.
std::string platformPath(const std::string& path);

} // namespace qem::host
