// The module as the loader opens it: exactly two symbols, a string table that
// is safe to index, and files the loader cannot use.
#include <dlfcn.h>
#include <math.h>

#include <climits>
#include <fstream>
#include <string>
#include <vector>

#include "host/HostError.h"
#include "tests/TestSupport.h"

namespace {

TEST(PluginModule, ExportsExactlyTheEntryPointAndStringLookup) {
    EXPECT_EQ(vtest::ExportedSymbols(VELLORA_MODULE_PATH), std::vector<std::string>({"EntryPointFunc", "GetStringPtr"}));
    EXPECT_NE(vtest::Module().Symbol("EntryPointFunc"), nullptr);
    EXPECT_EQ(vtest::Module().Symbol("AEFX_AcquireSuite"), nullptr);
    EXPECT_EQ(vtest::Module().Symbol("About"), nullptr);
}

TEST(PluginModule, StringTableThroughTheExport) {
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

// A missing file is named by every command that loads one (info_command_test).
TEST(PluginModule, LoaderRefusesFilesThatAreNoPlugIn) {
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
    const vtest::TempDir dir;
    std::ofstream(dir.Path("not_a_module.so")) << "hello";
    EXPECT_THROW(vhost::PluginModule module(dir.Path("not_a_module.so")), vhost::HostError);
}

}  // namespace
