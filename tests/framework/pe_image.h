// A small reader of the export and import tables of a 32-bit PE file, for
// checking what a built deliverable exposes and needs.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace qem::test {

struct PeTables {
    bool pe32 = false;            // a PE32 (32-bit) image
    std::uint16_t machine = 0;    // 0x14C for i386
    bool dll = false;
    std::string exportName;       // the file name the export directory records
    std::vector<std::string> exports;
    std::vector<std::string> imports; // DLL names
    std::string error;            // empty when the file read cleanly
};

inline PeTables readPeTables(const std::string& path) {
    PeTables t;
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u16 = [&](std::size_t o) -> std::optional<std::uint16_t> {
        if (o + 2 > f.size()) return std::nullopt;
        return std::uint16_t(f[o] | f[o + 1] << 8);
    };
    auto u32 = [&](std::size_t o) -> std::optional<std::uint32_t> {
        if (o + 4 > f.size()) return std::nullopt;
        return std::uint32_t(f[o] | f[o + 1] << 8 | f[o + 2] << 16 | std::uint32_t(f[o + 3]) << 24);
    };
    auto fail = [&](const char* why) {
        t.error = why;
        return t;
    };
    if (f.size() < 64 || f[0] != 'M' || f[1] != 'Z') return fail("not an MZ file");
    std::size_t pe = *u32(0x3C);
    if (u32(pe) != 0x00004550u) return fail("no PE signature");
    t.machine = u16(pe + 4).value_or(0);
    std::uint16_t sections = u16(pe + 6).value_or(0);
    std::uint16_t optSize = u16(pe + 20).value_or(0);
    t.dll = (u16(pe + 22).value_or(0) & 0x2000) != 0;
    std::size_t opt = pe + 24;
    t.pe32 = u16(opt) == 0x10B;
    if (!t.pe32) return fail("not PE32");
    std::size_t dirs = opt + 96;
    std::size_t sectionTable = opt + optSize;

    auto fileOffset = [&](std::uint32_t rva) -> std::optional<std::size_t> {
        for (std::uint16_t i = 0; i < sections; ++i) {
            std::size_t s = sectionTable + i * 40u;
            auto va = u32(s + 12), vsize = u32(s + 8), raw = u32(s + 20), rawSize = u32(s + 16);
            if (!va || !vsize || !raw || !rawSize) return std::nullopt;
            std::uint32_t size = *vsize > *rawSize ? *vsize : *rawSize;
            if (rva >= *va && rva < *va + size) return *raw + (rva - *va);
        }
        return std::nullopt;
    };
    auto text = [&](std::uint32_t rva) -> std::string {
        auto o = fileOffset(rva);
        std::string s;
        for (std::size_t i = o.value_or(f.size()); i < f.size() && f[i] != 0; ++i) s += char(f[i]);
        return s;
    };

    if (auto exportRva = u32(dirs); exportRva && *exportRva != 0) {
        auto e = fileOffset(*exportRva);
        if (!e) return fail("export directory outside the sections");
        t.exportName = text(u32(*e + 12).value_or(0));
        std::uint32_t names = u32(*e + 24).value_or(0);
        std::uint32_t functions = u32(*e + 20).value_or(0);
        if (functions != names) return fail("exports without names");
        auto nameTable = fileOffset(u32(*e + 32).value_or(0));
        for (std::uint32_t i = 0; nameTable && i < names; ++i) t.exports.push_back(text(u32(*nameTable + 4 * i).value_or(0)));
    }
    if (auto importRva = u32(dirs + 8); importRva && *importRva != 0) {
        auto d = fileOffset(*importRva);
        for (std::size_t o = d.value_or(f.size()); o + 20 <= f.size(); o += 20) {
            std::uint32_t nameRva = u32(o + 12).value_or(0);
            if (nameRva == 0) break;
            t.imports.push_back(text(nameRva));
        }
    }
    return t;
}

} // namespace qem::test
