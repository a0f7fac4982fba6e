// Everything a front end shows or reads of a parameter, in one place: the
// table's words (key, units, help) and the plug-in's declaration (label, range,
// default, choices) resolved once, with the one parser and printer of a value
// typed as text. A front end adds only its own glue: how its host spells a
// control, never a fact about the parameter.
#pragma once

#include <string>
#include <vector>

#include "params/ParamTable.h"
#include "params/ParamValue.h"
#include "support/InputError.h"

namespace vparams {

enum class ValueKind { Choice, Number, Point, Flag };

// The one word set for units, as every front end prints them after a value
// or a range: "pixels", "degrees", "percent", or "" for none. A point's layer
// pixels are pixels too.
const char* UnitWord(Units units);

struct ChoiceFacts {
    std::string name;   // "gamma": what --params, MLT, OBS and Python take
    std::string label;  // "Gamma 2.2": what the plug-in declares and hosts show
};

struct ParamFacts {
    const ParamEntry* entry = nullptr;  // the table's row
    int index = 0;                      // position in the host's list
    std::string key;                    // "falloff": the --params key
    std::string label;                  // "Alpha falloff": the declared name
    ValueKind kind = ValueKind::Number;
    Units units = Units::None;
    std::string unit;          // UnitWord(units)
    double min = 0, max = 0;   // a value's range (a point's per coordinate; a popup's 1 to n)
    bool declared_range = false;  // sliders: the range is the plug-in's valid range
    double dephault = 0;       // a number's; a popup's 1-based choice; a checkbox's 0 or 1
    double default_x = 50, default_y = 50;  // a point's, in percent of the layer
    int precision = 0;         // decimals the plug-in shows
    bool animated = true;      // may vary over time
    std::vector<ChoiceFacts> choices;  // a popup's, in order
    std::string help;          // the option's help with choices, range and default
    std::string box_text;      // a checkbox's text beside its box
};

// A value refused for one parameter: the key travels as data, so a front end
// names the control its user set without reading the message.
class ParamError : public vsupport::InputError {
public:
    ParamError(std::string key, std::string value, std::string reason);
    const std::string& Key() const { return key_; }
    const std::string& Value() const { return value_; }    // as given
    const std::string& Reason() const { return reason_; }  // what was expected
private:
    std::string key_, value_, reason_;
};

// Every parameter's facts, in the host's order.
class ParamFactsList {
public:
    explicit ParamFactsList(const Declaration& declared);
    const std::vector<ParamFacts>& All() const { return facts_; }
    // Null when no parameter has this key.
    const ParamFacts* Find(const std::string& key) const;
    // Throws ParamError "unknown parameter" listing the keys there are.
    const ParamFacts& Get(const std::string& key) const;
    std::vector<std::string> Keys() const;
    // The parameter at `index` of the host's list; throws ParamError off the list.
    const ParamFacts& At(int index) const;

private:
    std::vector<ParamFacts> facts_;
};

// The name of a popup's 1-based choice; "unknown" off the list.
std::string ChoiceName(const ParamFacts& facts, int value);
// A popup's choice names ("linear", ...) and labels ("Linear", ...), in order.
std::vector<std::string> ChoiceNames(const ParamFacts& facts);
std::vector<std::string> ChoiceLabels(const ParamFacts& facts);
// The default as a front end shows it: a popup's choice name, a number's exact
// decimal, a checkbox's 0 or 1.
std::string DefaultText(const ParamFacts& facts);

// A value typed as text: a popup by name (any case) or 1-based number, a
// number, a point "X,Y" (or "X Y"), a checkbox true/false, 1/0, yes/no or
// on/off. Held to the range; throws ParamError.
KeyValue ParseValue(const ParamFacts& facts, const std::string& text);
// A value a typed host handed over as a number (a popup's 1-based choice, a
// checkbox's 0 or 1): throws ParamError when it is not a number or out of range.
KeyValue CheckValue(const ParamFacts& facts, const KeyValue& value);
// Within the range: NaN is the default (a point keeps its NaN, for the caller
// to leave unset: the effect places it), anything else clamped to the range's
// nearer end (a popup's to a whole choice).
KeyValue HeldValue(const ParamFacts& facts, const KeyValue& value);
// The text ParseValue reads back as `value`: "gamma", "300", "640,360", "true".
std::string FormatValue(const ParamFacts& facts, const KeyValue& value);
// The declared default (a point's is percent of the layer, so none: the
// effect places it; this returns {default_x, default_y}).
KeyValue DefaultValue(const ParamFacts& facts);

}  // namespace vparams
