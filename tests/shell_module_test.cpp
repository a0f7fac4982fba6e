// What the module exposes: exactly two symbols, and a string table that is safe to index.
#include <elf.h>

#include <math.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "host/HostError.h"
#include "tests/TestSupport.h"
#include "plugin/Vellora/Vellora_Strings.h"

namespace {

// Defined, visible symbols of an ELF64 shared object's dynamic symbol table.
std::set<std::string> ExportedSymbols(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::set<std::string> names;
    if (data.size() < sizeof(Elf64_Ehdr)) return names;
    Elf64_Ehdr eh;
    std::memcpy(&eh, data.data(), sizeof(eh));
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64) return names;
    auto section = [&](size_t i) {
        Elf64_Shdr sh;
        std::memcpy(&sh, data.data() + eh.e_shoff + i * eh.e_shentsize, sizeof(sh));
        return sh;
    };
    for (size_t i = 0; i < eh.e_shnum; ++i) {
        const Elf64_Shdr sh = section(i);
        if (sh.sh_type != SHT_DYNSYM) continue;
        const Elf64_Shdr strtab = section(sh.sh_link);
        for (size_t off = sh.sh_offset; off + sizeof(Elf64_Sym) <= sh.sh_offset + sh.sh_size;
             off += sizeof(Elf64_Sym)) {
            Elf64_Sym sym;
            std::memcpy(&sym, data.data() + off, sizeof(sym));
            const int bind = ELF64_ST_BIND(sym.st_info);
            const int type = ELF64_ST_TYPE(sym.st_info);
            if (sym.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK)) continue;
            if (type == STT_SECTION || type == STT_FILE) continue;
            names.insert(std::string(data.data() + strtab.sh_offset + sym.st_name));
        }
    }
    return names;
}

TEST(ShellModule, ExportsExactlyTheEntryPointAndStringLookup) {
    const std::set<std::string> expected = {"EntryPointFunc", "GetStringPtr"};
    EXPECT_EQ(ExportedSymbols(VELLORA_MODULE_PATH), expected);
    EXPECT_NE(vtest::Module().Symbol("EntryPointFunc"), nullptr);
    EXPECT_EQ(vtest::Module().Symbol("AEFX_AcquireSuite"), nullptr);
    EXPECT_EQ(vtest::Module().Symbol("About"), nullptr);
}

TEST(ShellModule, StringTableThroughTheExport) {
    using Lookup = const char* (*)(int);
    auto lookup = reinterpret_cast<Lookup>(vtest::Module().Symbol("GetStringPtr"));
    ASSERT_NE(lookup, nullptr);
    EXPECT_STREQ(lookup(0), "");
    EXPECT_STREQ(lookup(1), "Vellora");
    EXPECT_STREQ(lookup(2), "Vellora plugin for Adobe Premiere.");
    EXPECT_STREQ(lookup(9), "Invert");
    EXPECT_STREQ(lookup(14), "Mask Type");
    EXPECT_STREQ(lookup(15), "Ellipse|Rectangle|");
    EXPECT_STREQ(lookup(17), "Add|Subtract|Intersect|Create");
    // Outside the table: the empty entry, never memory beyond it.
    for (int id : {-1, 18, 19, 1000, INT_MAX, INT_MIN}) {
        EXPECT_EQ(lookup(id), lookup(0)) << id;
    }
}

TEST(ShellModule, EveryEntryIdIsItsPosition) {
    for (int i = 0; i < StrID_NUMTYPES; ++i) {
        EXPECT_EQ(g_strs[i].index, i);
        EXPECT_LT(std::strlen(g_strs[i].str), sizeof(g_strs[i].str));
        EXPECT_EQ(GetStringPtr(i), g_strs[i].str);
    }
    EXPECT_EQ(sizeof(g_strs[0].index), 8u);
}

TEST(ShellModule, LoaderNamesTheFileItCannotUse) {
    const std::string missing = "/nonexistent/dir/Vellora.so";
    try {
        vhost::PluginModule module(missing);
        FAIL() << "loaded a missing file";
    } catch (const vhost::HostError& e) {
        EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
    }
    // A real shared library without the entry point (the C maths library).
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(static_cast<double (*)(double)>(&::cos)), &info), 0);
    const std::string libm = info.dli_fname;
    try {
        vhost::PluginModule module(libm);
        FAIL() << "accepted a library without EntryPointFunc";
    } catch (const vhost::HostError& e) {
        EXPECT_NE(std::string(e.what()).find("EntryPointFunc"), std::string::npos) << e.what();
    }
    // Not a shared object at all.
    const std::string text = ::testing::TempDir() + "not_a_module.so";
    std::ofstream(text) << "hello";
    EXPECT_THROW(vhost::PluginModule module(text), vhost::HostError);
    std::remove(text.c_str());
}

}  // namespace
