// What the drivers share: the modules they load, the plug-in's declaration,
// the words of the parameter files, and the guard that turns an exception
// escaping the code under test into a finding.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "fuzz/drivers/Drivers.h"
#include "host/PluginModule.h"
#include "params/EffectValues.h"
#include "params/ParamTable.h"

namespace vfuzz {

// This build's effect module and frei0r filter, or $VELLORA_MODULE and $VELLORA_FREI0R.
std::string EffectModulePath();
std::string Frei0rModulePath();
// The layer values are applied for; the origin's range is wider, so points may sit outside it.
constexpr int kLayerWidth = 640, kLayerHeight = 360;

// The effect module, loaded once and kept, so each input's own loads are cheap.
const vhost::PluginModule& EffectModule();
// What the effect declares to an After Effects host, read once.
const vparams::Declaration& Declared();

// The dictionary words of parameter and key files: the table's keys, the
// declared choice names, JSON's literals and awkward numbers.
std::string JsonWords();

// What in `values` lies outside what `declared` allows, in words; empty when nothing does.
std::string OutOfRange(const vparams::EffectValues& values, const vparams::Declaration& declared);

// Runs `check`; an exception out of it is a finding, naming its type's message.
std::string Guarded(const std::function<std::string()>& check);

std::unique_ptr<Driver> MakeEntryDriver();
std::unique_ptr<Driver> MakeParamsDriver();
std::unique_ptr<Driver> MakeKeysDriver();
std::unique_ptr<Driver> MakeImageDriver();
std::unique_ptr<Driver> MakeFrei0rDriver();
std::unique_ptr<Driver> MakeMltDriver();

}  // namespace vfuzz
