// The module's words for people and for editors: the docstrings help() shows
// and the type stubs, both written from the parameters' facts so that no
// name, range or choice is typed twice.
#pragma once

#include <string>

#include "params/ParamFacts.h"

namespace vpython {

std::string ModuleDoc();
std::string RenderDoc(const vparams::ParamFactsList& facts);
std::string EffectDoc(const vparams::ParamFactsList& facts);
std::string EffectRenderDoc();
std::string OverlayDoc(const vparams::ParamFactsList& facts);
std::string ParametersDoc();

// vellora.pyi: every function and keyword with its Python type.
std::string StubText(const vparams::ParamFactsList& facts);

}  // namespace vpython
