// The host's parameter table (params/ParamTable) against what the plug-in
// declares: a disagreement planted in the declaration is caught at start-up
// and named, and the CLI's help, options, --params and info take defaults,
// ranges and choices from the declaration (the frei0r filter's: frei0r_filter_test).
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "host/HostError.h"
#include "params/EffectParams.h"
#include "params/ParamTable.h"
#include "plugin/Vellora/Vellora.h"
#include "tests/TestFiles.h"
#include "support/Text.h"
#include "tests/TestSupport.h"

namespace {

using vparams::CheckParamTable;
using vparams::Declaration;
using vtest::RunCli;

const std::string kFake = std::string("'") + VELLORA_FAKE_MODULE_PATH + "'";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The error CheckParamTable gives once `plant` has changed the declared list; empty when none.
std::string Disagreement(const std::function<void(std::vector<PF_ParamDef>&)>& plant) {
    auto host = vtest::SetUpHost();
    plant(host->Params());
    try {
        CheckParamTable(Declaration::Read(*host));
    } catch (const vhost::HostError& e) {
        return e.what();
    }
    return "";
}

TEST(ParamTable, AgreesWithTheBuiltEffectAndNamesEachParameterOnce) {
    EXPECT_EQ(Disagreement([](std::vector<PF_ParamDef>&) {}), "");
    std::set<std::string> keys, options, frei0r;
    for (const vparams::ParamEntry& e : vparams::ParamTable()) {
        EXPECT_TRUE(keys.insert(e.key).second) << e.key;
        EXPECT_TRUE(options.insert(e.option).second) << e.option;
        for (const vparams::Frei0rParam& f : e.frei0r) {
            if (f.name) {
                EXPECT_TRUE(frei0r.insert(f.name).second) << f.name;
            }
        }
    }
}

TEST(ParamTable, APlantedDisagreementIsCaughtAndNamed) {
    struct Plant {
        const char* what;
        std::function<void(std::vector<PF_ParamDef>&)> plant;
        std::vector<std::string> said;
    };
    const Plant plants[] = {
        {"a third mask type", [](auto& p) { p[PARAM_MASK_TYPE].u.pd.num_choices = 3; },
         {"'mask_type'", "3 choices"}},
        {"a popup without choices", [](auto& p) { p[PARAM_FALLOFF].u.pd.num_choices = 0; },
         {"'falloff'", "0 choices"}},
        {"width of another type", [](auto& p) { p[PARAM_WIDTH].param_type = PF_Param_FIX_SLIDER; },
         {"'width'", "fixed slider", "float slider"}},
        {"another name", [](auto& p) { std::strcpy(p[PARAM_HEIGHT].name, "Breadth"); },
         {"'height'", "Breadth"}},
        {"a default outside the range", [](auto& p) { p[PARAM_FEATHER].u.fs_d.dephault = 20000; },
         {"'feather'", "default 20000"}},
        {"a range upside down", [](auto& p) { p[PARAM_WIDTH].u.fs_d.valid_min = 16000; },
         {"'width'", "range 16000 to 15000"}},
        {"opacity not in percent", [](auto& p) { p[PARAM_OPACITY].u.fd.display_flags = 0; },
         {"'opacity'", "percent"}},
        {"a popup default past its choices", [](auto& p) { p[PARAM_COMPOSITE_MODE].u.pd.dephault = 5; },
         {"'composite_mode'", "default 5"}},
        {"a parameter missing", [](auto& p) { p.pop_back(); }, {"9 parameters", "the table knows 10"}},
    };
    for (const Plant& plant : plants) {
        SCOPED_TRACE(plant.what);
        const std::string error = Disagreement(plant.plant);
        EXPECT_TRUE(Has(error, "disagree with the host's table")) << error;
        for (const std::string& part : plant.said) EXPECT_TRUE(Has(error, part)) << error;
    }
}

// Through the built vellora: a module that declares a third mask type is
// refused before anything is written, by every command that renders.
TEST(ParamTable, TheCliStopsOnAModuleThatDeclaresOtherwise) {
    vtest::TempDir dir;
    const std::string env = "VELLORA_FAKE_FAULT=three-shapes";
    for (const std::string& command : {"render testcard:8x8 " + dir.Arg("out.png") + " -q --module " + kFake,
                                       "overlay testcard:8x8 " + dir.Arg("out.png") + " -q --module " + kFake,
                                       "drag testcard:8x8 --from 1,1 --to 2,2 --module " + kFake}) {
        SCOPED_TRACE(command);
        const vtest::CliRun run = RunCli(command, true, env);
        EXPECT_EQ(run.status, 1) << run.out;
        EXPECT_TRUE(vtest::OneLineNaming(run.out, "'mask_type' (Mask Type) is declared with 3 choices"));
    }
    EXPECT_TRUE(dir.Names().empty());
    // info describes any module, table or not.
    EXPECT_EQ(RunCli("info --module " + kFake, true, env).status, 0);
}

// The same module declaring Width with the default 250 and the range 0 to
// 9000: the CLI's help, its options, --params and the values it leaves unset follow.
TEST(ParamTable, TheCliFollowsTheDeclaration) {
    vtest::TempDir dir;
    const std::string env = "VELLORA_FAKE_FAULT=other-defaults";
    const std::string module = " --module " + kFake;
    const auto help = RunCli("render --help" + module, true, env);
    EXPECT_TRUE(Has(help.out, "Mask width in pixels, 0 to 9000 [250]")) << help.out;
    // And the built effect's own, as the host reads them from its declaration.
    auto host = vtest::SetUpHost();
    const PF_FloatSliderDef& width = host->Params()[PARAM_WIDTH].u.fs_d;
    const auto built = RunCli("render --help", true);
    EXPECT_TRUE(Has(built.out, "Mask width in pixels, " + vtext::Exact(width.valid_min) + " to " +
                                   vtext::Exact(width.valid_max) + " [" + vtext::Exact(width.dephault) + "]"))
        << built.out;
    const Declaration declared = Declaration::Read(*host);
    for (const vparams::ParamEntry& e : vparams::ParamTable()) {
        if (!e.flag) {
            EXPECT_TRUE(Has(built.out, vparams::OptionHelp(e, declared))) << e.key;
        }
    }

    const auto drag = RunCli("drag testcard:64x64 --from 1,1 --to 1,1" + module, false, env);
    ASSERT_EQ(drag.status, 0) << drag.out;
    EXPECT_EQ(nlohmann::json::parse(drag.out)["params"]["width"], 250.0);

    const auto wide = RunCli("render testcard:8x8 " + dir.Arg("out.png") + " -q --width 9000.5" + module, true, env);
    EXPECT_TRUE(vtest::OneLineNaming(wide.out, "--width 9000.5 is out of range (0 to 9000 pixels)"));
    std::ofstream(dir.Path("p.json")) << "{\"width\": 9000.5}";
    const auto file = RunCli("render testcard:8x8 " + dir.Arg("out.png") + " -q --params " + dir.Arg("p.json") + module,
                             true, env);
    EXPECT_TRUE(vtest::OneLineNaming(file.out, "'width': 9000.5 is out of range (0 to 9000)"));
    EXPECT_EQ(RunCli("render testcard:8x8 " + dir.Arg("out.png") + " -q --width 9000.5").status, 0);

    const auto info = RunCli("info --json" + module, false, env);
    ASSERT_EQ(info.status, 0) << info.out;
    EXPECT_EQ(nlohmann::json::parse(info.out)["params"][PARAM_WIDTH]["default"], 250.0);
}

// Values left unset are the declared defaults, whatever a host held before.
TEST(ParamTable, UnsetValuesAreTheDeclaredDefaults) {
    auto host = vtest::SetUpHost();
    vparams::EffectValues some;
    some.width = 12;
    some.composite_mode = 1;
    vparams::ApplyEffectValues(*host, some, 400, 300);
    vparams::ApplyEffectValues(*host, {}, 400, 300);
    const vparams::EffectValues v = vparams::ReadEffectValues(*host);
    const std::vector<PF_ParamDef>& p = host->Params();
    EXPECT_EQ(*v.width, p[PARAM_WIDTH].u.fs_d.dephault);
    EXPECT_EQ(*v.composite_mode, p[PARAM_COMPOSITE_MODE].u.pd.dephault);
    EXPECT_EQ(*v.origin_x, 200.0);
    EXPECT_EQ(*v.origin_y, 150.0);
}

// A value between two 16.16 steps goes to the nearer, on either side of
// zero: the host's array holds it within half a step of what was given.
TEST(ParamTable, FixedPointValuesGoToTheNearestStepOnBothSidesOfZero) {
    auto host = vtest::SetUpHost();
    const double step = 1.0 / 65536.0;
    for (const double whole : {0.0, 1.0, 89.0, 3000.0, -1.0, -89.0, -3000.0}) {
        for (const double part : {0.1, 0.45, 0.55, 0.9}) {
            // Beyond `whole` by `part` of a step, away from zero.
            const double value = whole + (whole < 0 ? -part : part) * step;
            SCOPED_TRACE(testing::Message() << whole << " and " << part << " of a step");
            vparams::EffectValues v;
            v.angle = value;
            v.origin_x = value;
            v.origin_y = -value;
            if (value >= 0 && value <= 100) v.opacity = value;
            vparams::ApplyEffectValues(*host, v, 400, 300);
            const std::vector<PF_ParamDef>& p = host->Params();
            EXPECT_LE(std::fabs(p[PARAM_ANGLE].u.ad.value * step - value), step / 2);
            EXPECT_LE(std::fabs(p[PARAM_ORIGIN].u.td.x_value * step - value), step / 2);
            EXPECT_LE(std::fabs(p[PARAM_ORIGIN].u.td.y_value * step + value), step / 2);
            if (v.opacity) {
                EXPECT_LE(std::fabs(p[PARAM_OPACITY].u.fd.value * step - value), step / 2);
            }
        }
    }
    // Past what 16.16 holds: refused, naming the value, neither wrapped nor clamped.
    vparams::EffectValues far;
    far.origin_y = 32768;
    try {
        vparams::ApplyEffectValues(*host, far, 400, 300);
        ADD_FAILURE() << "accepted";
    } catch (const vsupport::InputError& e) {
        EXPECT_TRUE(Has(e.what(), "origin y 32768 cannot be held by the host")) << e.what();
    }
}

}  // namespace
