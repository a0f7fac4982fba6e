// The host side's one table of the effect's parameters: for each parameter the
// facts only a front end has (its --params key, command-line option and help,
// units, frei0r mapping), written once. What the plug-in itself declares
// (types, ranges, defaults, popup choices) is never repeated here: it is read
// from the host's parameter list after parameter set-up (Declaration), and
// every front end checks the two agree before it starts (CheckParamTable).
//
// To add a parameter: declare it in the plug-in (plugin/Vellora/Vellora.cpp),
// add a field to EffectValues and a row to the table in ParamTable.cpp.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "api/AE_Effect.h"
#include "api/FixedPoint.h"
#include "host/Host.h"
#include "params/EffectValues.h"
#include "support/InputError.h"

namespace vparams {

// How a frei0r value (a double, 0..1 by frei0r's convention) maps onto the effect's.
enum class Frei0rMap {
    None,         // no frei0r parameter
    Switch,       // below 0.5 the first of two choices (or off), otherwise the second (or on)
    Choice,       // floor(v * choices), held to the list
    FrameWidth,   // v * the frame's width
    FrameHeight,  // v * the frame's height
    Scale,        // v * factor
};

struct Frei0rParam {
    const char* name = nullptr;
    Frei0rMap map = Frei0rMap::None;
    double factor = 1.0;  // for Scale
    // The whole explanation, or for a popup the words before the choices,
    // which are listed from the declaration.
    const char* help = "";
};

enum class Units { None, Pixels, LayerPixels, Degrees, Percent };

struct ParamEntry {
    int index;            // position in the host's list (PARAM_*, Vellora.h)
    PF_ParamType type;    // what the plug-in must declare there
    const char* name;     // the name it declares, which the window shows
    const char* key;      // the --params JSON key; for popups, "mask_type" reads "mask type" in messages
    const char* option;   // command-line option; a checkbox also gets "--no-..."
    const char* value_name;  // what the option takes ("PIXELS"), or the --no- option's help for a checkbox
    const char* help;     // help before the declared choices, range and default
    Units units;
    // Where the value lives in EffectValues (one of them; a point uses two numbers).
    std::optional<int> EffectValues::*choice;
    std::optional<double> EffectValues::*number;
    std::optional<double> EffectValues::*number_y;
    std::optional<bool> EffectValues::*flag;
    Frei0rParam frei0r[2];  // a point maps to two frei0r parameters
};

// Every parameter after the input layer, in the host's order.
const std::vector<ParamEntry>& ParamTable();
// The row of the parameter at `index` of the host's list, or null.
const ParamEntry* FindEntry(int index);
// The row of a --params key, or null.
const ParamEntry* FindKey(const std::string& key);

// One parameter as the plug-in declared it, copied out of the host's list so
// it outlives the host and the module. Fixed-point values are real numbers in
// the units the controls show.
struct DeclaredParam {
    PF_ParamType type = PF_Param_LAYER;
    std::string name;
    PF_ParamFlags flags = 0;
    double dephault = 0;                         // sliders, angle; popup (1-based) and checkbox as numbers
    double default_x = 0, default_y = 0;         // a point's, in percent of the layer
    bool has_range = false;                      // sliders only
    double valid_min = 0, valid_max = 0;
    int precision = 0;
    int display_flags = 0;
    std::vector<std::string> choices;  // the popup's, as the host shows them
    std::string box_text;              // the checkbox's
};

class Declaration {
public:
    // Read from a host after parameter set-up (index 0 is the input layer).
    static Declaration Read(const vhost::Host& host);
    size_t Size() const { return params_.size(); }
    const DeclaredParam& operator[](int index) const { return params_.at(static_cast<size_t>(index)); }

    // The range a value of this parameter must keep to: the declared valid
    // range for sliders, 1 to the choice count for popups, the fixed-point
    // limit for points and angles.
    double Min(int index) const;
    double Max(int index) const;
    // The command-line name of choice `value` (1-based): the declared text in
    // lower case up to its first space ("Gamma 2.2" is "gamma"); "unknown" off the list.
    std::string ChoiceName(int index, int value) const;
    // The value of a choice by that name (any case); throws InputError naming
    // the bad name and the accepted ones.
    int ParseChoice(int index, const std::string& name) const;

private:
    std::vector<DeclaredParam> params_;
};

// Throws HostError naming the first parameter where `declared` and the table
// disagree (count, name, type, choice count, range, default, units).
void CheckParamTable(const Declaration& declared);

// The set-up every front end runs: global and parameter set-up on `host`
// (vhost::SetUpEffect), then the table checked against what the plug-in
// declared. Returns the declaration; throws HostError.
Declaration SetUpChecked(vhost::Host& host);

// The first `count` entries of a popup's "|"-separated choice text.
std::vector<std::string> SplitChoices(const char* text, int count);

// The option's help: the table's words, then the declared choices, range and default.
std::string OptionHelp(const ParamEntry& entry, const Declaration& declared);
// A frei0r parameter's explanation (for a popup, its choices from the declaration).
std::string Frei0rHelp(const ParamEntry& entry, const Frei0rParam& param, const Declaration& declared);

}  // namespace vparams
