#include "host/library.h"

#include "host/text.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>
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

// Whether a library file is whole: every part its own headers place in the
// file lies within it. A loader maps a file by those headers, so one that
// was cut short (a copy broken off, a download not finished) would fault
// inside the loader instead of being refused. Returns the problem, or
// nothing when the file is whole or not of a kind checked here (then the
// loader itself judges it).
std::optional<std::string> cutShort(const std::string& localPath) {
    std::ifstream in(localPath, std::ios::binary);
    if (!in) return std::nullopt;
    in.seekg(0, std::ios::end);
    const std::uint64_t size = static_cast<std::uint64_t>(in.tellg());
    in.seekg(0);
    // The headers sit at the start; 64 KiB holds any this host loads.
    std::vector<unsigned char> head(static_cast<std::size_t>(std::min<std::uint64_t>(size, 65536)));
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    auto problem = [&](const std::string& part, std::uint64_t end) {
        return "is cut short: " + part + " ends at byte " + std::to_string(end) + ", but the file has " +
               std::to_string(size) + " bytes";
    };
    // Little- or big-endian fields of `bytes` bytes at `at` of the header
    // bytes; nullopt when they lie beyond what was read.
    bool big = false;
    auto field = [&](std::uint64_t at, int bytes) -> std::optional<std::uint64_t> {
        if (at + static_cast<std::uint64_t>(bytes) > head.size()) return std::nullopt;
        std::uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            std::uint64_t b = head[static_cast<std::size_t>(at) + static_cast<std::size_t>(big ? i : bytes - 1 - i)];
            v = v << 8 | b;
        }
        return v;
    };

    if (size >= 4 && std::memcmp(head.data(), "\x7F" "ELF", 4) == 0) {
        if (size < 52) return problem("the ELF header", 52);
        const bool wide = head[4] == 2; // ELFCLASS64
        big = head[5] == 2;             // ELFDATA2MSB
        const int word = wide ? 8 : 4;
        const std::uint64_t headerSize = wide ? 64 : 52;
        if (size < headerSize) return problem("the ELF header", headerSize);
        const std::uint64_t phoff = *field(wide ? 32 : 28, word);
        const std::uint64_t shoff = *field(wide ? 40 : 32, word);
        const std::uint64_t phentsize = *field(wide ? 54 : 42, 2), phnum = *field(wide ? 56 : 44, 2);
        const std::uint64_t shentsize = *field(wide ? 58 : 46, 2), shnum = *field(wide ? 60 : 48, 2);
        const std::uint64_t phend = phoff + phentsize * phnum;
        if (phend > size) return problem("the program header table", phend);
        if (shoff != 0 && shoff + shentsize * shnum > size)
            return problem("the section header table", shoff + shentsize * shnum);
        for (std::uint64_t i = 0; i < phnum; ++i) {
            const std::uint64_t ph = phoff + i * phentsize;
            // p_offset and p_filesz: the bytes of the segment in the file.
            auto offset = field(ph + (wide ? 8 : 4), word);
            auto filesz = field(ph + (wide ? 32 : 16), word);
            if (!offset || !filesz) return std::nullopt; // headers past 64 KiB: left to the loader
            if (*offset + *filesz > size) return problem("segment " + std::to_string(i), *offset + *filesz);
        }
        return std::nullopt;
    }
    if (size >= 2 && head[0] == 'M' && head[1] == 'Z') {
        auto lfanew = field(0x3C, 4);
        if (!lfanew) return problem("the DOS header", 64);
        const std::uint64_t pe = *lfanew;
        if (pe + 24 > size) return problem("the PE header", pe + 24);
        if (pe + 24 > head.size() || std::memcmp(head.data() + pe, "PE\0\0", 4) != 0) return std::nullopt;
        const std::uint64_t sections = *field(pe + 6, 2);
        // The COFF symbol table (18 bytes a symbol) and its string table's
        // length word follow the sections in a library that keeps symbols.
        const std::uint64_t symbols = *field(pe + 12, 4), symbolCount = *field(pe + 16, 4);
        if (symbols != 0 && symbols + 18 * symbolCount + 4 > size)
            return problem("the symbol table", symbols + 18 * symbolCount + 4);
        const std::uint64_t optionalSize = *field(pe + 20, 2);
        const std::uint64_t table = pe + 24 + optionalSize;
        if (table + 40 * sections > size) return problem("the section table", table + 40 * sections);
        for (std::uint64_t i = 0; i < sections; ++i) {
            auto rawSize = field(table + 40 * i + 16, 4);
            auto rawAt = field(table + 40 * i + 20, 4);
            if (!rawSize || !rawAt) return std::nullopt;
            if (*rawSize != 0 && *rawAt + *rawSize > size)
                return problem("section " + std::to_string(i), *rawAt + *rawSize);
        }
    }
    return std::nullopt;
}

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
    if (auto problem = cutShort(local)) throw LoadError(path, *problem);

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
