// The parameter list a host builds from parameter set-up, and its failure rows.
#include <cstring>
#include <string>

#include "tests/TestSupport.h"
#include "plugin/Vellora/Vellora.h"

namespace {

using vhost::HostApp;

const PF_Fixed kOne = 65536;

// A record with every byte not set here zero, so stray fields are caught too.
PF_ParamDef Def(const char* name, A_long id, PF_ParamType type, A_long flags = 0) {
    PF_ParamDef def;
    std::memset(&def, 0, sizeof(def));
    def.uu.id = id;
    def.param_type = type;
    std::strcpy(def.name, name);
    def.flags = flags;
    return def;
}

PF_ParamDef Popup(const char* name, A_long id, short choices, short dephault) {
    PF_ParamDef def = Def(name, id, PF_Param_POPUP, PF_ParamFlag_CANNOT_TIME_VARY);
    def.u.pd.num_choices = choices;
    def.u.pd.value = def.u.pd.dephault = dephault;
    return def;
}

PF_ParamDef FloatSlider(const char* name, A_long id, double dephault) {
    PF_ParamDef def = Def(name, id, PF_Param_FLOAT_SLIDER);
    def.u.fs_d.value = dephault;
    def.u.fs_d.dephault = static_cast<float>(dephault);
    def.u.fs_d.valid_max = def.u.fs_d.slider_max = 15000.0f;
    def.u.fs_d.precision = 1;
    def.u.fs_d.curve_tolerance = 0.05f;
    return def;
}

// The list Vellora must declare, written out from its published parameter table.
std::vector<PF_ParamDef> ExpectedParams() {
    PF_ParamDef origin = Def("Point of origin", 1, PF_Param_POINT);
    origin.u.td.x_value = origin.u.td.y_value = origin.u.td.x_dephault = origin.u.td.y_dephault = 0x320000;
    PF_ParamDef opacity = Def("Opacity", 7, PF_Param_FIX_SLIDER);
    opacity.u.fd.valid_max = opacity.u.fd.slider_max = 100 * kOne;
    opacity.u.fd.value = opacity.u.fd.dephault = 0x640000;
    opacity.u.fd.precision = 1;
    opacity.u.fd.display_flags = PF_ValueDisplayFlag_PERCENT;
    return {Popup("Mask Type", 2, 2, 1),        Popup("Composite mode", 8, 4, 4), origin,
            FloatSlider("Width", 3, 300.0),     FloatSlider("Height", 4, 200.0),  Def("Angle", 5, PF_Param_ANGLE),
            FloatSlider("Feather", 6, 0.0),     opacity,
            Def("Invert", 9, PF_Param_CHECKBOX, PF_ParamFlag_CANNOT_TIME_VARY), Popup("Alpha falloff", 10, 6, 1)};
}

const char* TextPointer(const PF_ParamDef& def) {
    if (def.param_type == PF_Param_POPUP) return def.u.pd.u.namesptr;
    if (def.param_type == PF_Param_CHECKBOX) return def.u.bd.u.nameptr;
    return nullptr;
}

void SetTextPointer(PF_ParamDef& def, const char* text) {
    if (def.param_type == PF_Param_POPUP) def.u.pd.u.namesptr = text;
    if (def.param_type == PF_Param_CHECKBOX) def.u.bd.u.nameptr = text;
}

TEST(ParamsSetup, ListMatchesTheTableFieldByField) {
    const char* const kTexts[] = {"Ellipse|Rectangle|", "Add|Subtract|Intersect|Create", nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, "Invert mask",
                                  "Linear|Quadratic|Cubic|Gamma 2.2|Gaussian|Exponential"};
    for (HostApp app : {HostApp::AfterEffects, HostApp::Premiere}) {
        auto host = vtest::SetUpHost(app);
        const auto& params = host->Params();
        ASSERT_EQ(params.size(), 11u);
        EXPECT_EQ(host->OutData().num_params, 11);
        EXPECT_EQ(params[0].param_type, PF_Param_LAYER);
        auto expected = ExpectedParams();
        for (size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE(expected[i].name);
            const PF_ParamDef& got = params[i + 1];
            EXPECT_EQ(host->ParamIds()[i + 1], expected[i].uu.id);
            EXPECT_STREQ(got.name, expected[i].name);
            if (kTexts[i]) {
                ASSERT_NE(TextPointer(got), nullptr);
                EXPECT_STREQ(TextPointer(got), kTexts[i]);
                SetTextPointer(expected[i], TextPointer(got));
            }
            // Whole record, so stray non-zero fields are caught too.
            EXPECT_EQ(std::memcmp(&got, &expected[i], sizeof(PF_ParamDef)), 0);
        }

        ASSERT_TRUE(host->UIRegistered());
        PF_CustomUIInfo ui;
        std::memset(&ui, 0, sizeof(ui));
        ui.events = 3;
        EXPECT_EQ(std::memcmp(&host->RegisteredUI(), &ui, sizeof(ui)), 0);
        // Parameter set-up itself needs no suite; a second one starts a fresh list.
        host->Suites().Reset();
        ASSERT_EQ(host->ParamsSetup(), PF_Err_NONE);
        EXPECT_EQ(host->Suites().TotalAcquires(), 0);
        EXPECT_EQ(host->Params().size(), 11u);
    }
}

TEST(ParamsSetup, RefusedFifthParameterEndsSetUp) {
    auto host = vtest::NewHost();
    host->Faults().injected_error = PF_Err_OUT_OF_MEMORY;
    host->Faults().FailCall("add_param", 5);
    host->OutData().num_params = 77;
    EXPECT_EQ(host->ParamsSetup(), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(host->Faults().Calls("add_param"), 5);
    EXPECT_EQ(host->Params().size(), 5u);  // layer + four
    EXPECT_EQ(host->OutData().num_params, 77);
    EXPECT_FALSE(host->UIRegistered());
    EXPECT_EQ(host->Faults().Calls("register_ui"), 0);
}

TEST(ParamsSetup, FailingRegistrationStillSetsTheCount) {
    auto host = vtest::NewHost();
    host->Faults().injected_error = PF_Err_INVALID_CALLBACK;
    host->Faults().FailCall("register_ui", 1);
    EXPECT_EQ(host->ParamsSetup(), PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(host->Params().size(), 11u);
    EXPECT_EQ(host->OutData().num_params, 11);
}

// Forwards to the reference host's add_param with an index other than -1.
PF_Err (*g_real_add_param)(PF_ProgPtr, PF_ParamIndex, PF_ParamDefPtr) = nullptr;
PF_Err AddAtIndexTwo(PF_ProgPtr ref, PF_ParamIndex, PF_ParamDefPtr def) { return g_real_add_param(ref, 2, def); }

TEST(ParamsSetup, HostRefusesInsertionAtAnIndex) {
    auto host = vtest::NewHost();
    PF_InData in = host->InData();
    g_real_add_param = in.inter.add_param;
    in.inter.add_param = AddAtIndexTwo;
    EXPECT_EQ(host->SendRaw(PF_Cmd_PARAMS_SETUP, &in, &host->OutData(), nullptr, nullptr, nullptr),
              PF_Err_INVALID_INDEX);
    EXPECT_EQ(host->Params().size(), 1u);
}

TEST(ParamsSetup, HostWithoutStringCallbacksIsRefusedUpFront) {
    auto host = vtest::NewHost();
    PF_InData in = host->InData();
    PF_UtilCallbacks utils = *in.utils;
    utils.ansi.strcpy = nullptr;
    in.utils = &utils;
    host->OutData().num_params = 5;
    EXPECT_EQ(host->SendRaw(PF_Cmd_PARAMS_SETUP, &in, &host->OutData(), nullptr, nullptr, nullptr),
              PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(host->Params().size(), 1u);
    EXPECT_EQ(host->OutData().num_params, 5);
}

}  // namespace
