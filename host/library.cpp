#include "host/library.h"

#include "host/text.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#include "host/gdi_hook_windows.h"
#else
#include <dlfcn.h>
#endif

namespace qem::host {
namespace {

constexpr std::size_t kNameBound = 1024;
constexpr std::size_t kAboutBound = 65536;

#ifdef _WIN32
std::string lastErrorText(DWORD code) {
    char* buffer = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = n != 0 && buffer != nullptr ? std::string(buffer, n) : std::string();
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(code) : text + " (error " + std::to_string(code) + ")";
}
#endif

} // namespace

std::string platformPath(const std::string& path) {
#ifdef _WIN32
    // Wine's kernel32 offers the Unix-to-DOS conversion; Windows has no
    // Unix paths to convert.
    using WineToDos = WCHAR*(CDECL*)(const char*);
    static auto toDos = reinterpret_cast<WineToDos>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
    if (toDos == nullptr || path.empty() || path[0] != '/') return path;
    WCHAR* dos = toDos(path.c_str());
    if (dos == nullptr) return path;
    int n = WideCharToMultiByte(CP_ACP, 0, dos, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<std::size_t>(n - 1) : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_ACP, 0, dos, -1, out.data(), n, nullptr, nullptr);
    HeapFree(GetProcessHeap(), 0, dos);
    return out.empty() ? path : out;
#else
    return path;
#endif
}

std::unique_ptr<Library> Library::load(const std::string& path) {
    std::unique_ptr<Library> lib(new Library);
    lib->path_ = path;
    const std::string local = platformPath(path);

    std::error_code ec;
    auto status = std::filesystem::status(local, ec);
    if (ec || !std::filesystem::exists(status)) throw LoadError(path, "no such file");
    if (std::filesystem::is_directory(status)) throw LoadError(path, "is a directory, not a library");

#ifdef _WIN32
    // No message boxes for a file the loader refuses.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    std::string full = std::filesystem::absolute(local, ec).string();
    if (ec) full = local;
    HMODULE module = LoadLibraryExA(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    DWORD error = GetLastError();
    SetErrorMode(oldMode);
    if (module == nullptr) {
        if (error == ERROR_BAD_EXE_FORMAT || error == ERROR_INVALID_DATA)
            throw LoadError(path, "not a 32-bit Windows library: " + lastErrorText(error));
        throw LoadError(path, "cannot be loaded: " + lastErrorText(error));
    }
    lib->handle_ = module;
    auto symbol = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(module, name)); };
#else
    // A name without a slash would be looked up on the library path.
    std::string openPath = local.find('/') == std::string::npos ? "./" + local : local;
    void* handle = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        std::string cause = why != nullptr ? why : "unknown error";
        // dlerror repeats the path; keep the cause only.
        if (std::size_t at = cause.find(": "); at != std::string::npos && cause.compare(0, at, openPath) == 0)
            cause = cause.substr(at + 2);
        throw LoadError(path, "not a loadable library of this machine: " + cause);
    }
    lib->handle_ = handle;
    auto symbol = [&](const char* name) { return dlsym(handle, name); };
#endif

    lib->getModuleProperties_ = reinterpret_cast<GetModulePropertiesFn>(symbol("getModuleProperties"));
    lib->makeModule_ = reinterpret_cast<MakeModuleFn>(symbol("makeModule"));
    if (lib->getModuleProperties_ == nullptr) throw LoadError(path, "lacks the export getModuleProperties");
    if (lib->makeModule_ == nullptr) throw LoadError(path, "lacks the export makeModule");

    // The host presets every field with 0 and keeps what the module leaves.
    ModuleProperties props{};
    std::int32_t ok = lib->getModuleProperties_(0, &props);
    if (ok == 0) throw LoadError(path, "getModuleProperties(0) answered 0: the file holds no module");
    if (props.name == nullptr) throw LoadError(path, "getModuleProperties(0) gave no module name");
    lib->info_.name = boundedText(props.name, kNameBound);
    lib->info_.identifier = props.identifier != nullptr ? boundedText(props.identifier, kNameBound) : "";
    lib->info_.about = props.about != nullptr ? boundedText(props.about, kAboutBound) : "";
    lib->info_.flags = props.flags;
    lib->info_.hostReserved = props.hostReserved;
    lib->info_.interfaceVersion = props.interfaceVersion;

#ifdef _WIN32
    // See what the module draws (gdi_hook_windows.h).
    hookModuleDrawing(module);
#endif
    return lib;
}

Library::~Library() {
#ifdef _WIN32
    if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
#else
    if (handle_ != nullptr) dlclose(handle_);
#endif
}

} // namespace qem::host
