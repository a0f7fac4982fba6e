// The MLT filter described for the programs that show it: MLT's metadata
// (filter_vellora.yml, what `melt -query filter=vellora` prints) and
// Kdenlive's effect descriptor (vellora.xml), and the library Shotcut's
// filter folder reads (params.js), all made from the parameter
// table and what the effect declares, so neither repeats a name, range,
// default or choice.
#pragma once

#include <string>

#include "params/ParamTable.h"

namespace vdescribe {

std::string MltMetadata(const vparams::Declaration& declared);
std::string KdenliveEffect(const vparams::Declaration& declared);
// Shotcut's filter folder's params.js.
std::string ShotcutParams(const vparams::Declaration& declared);

}  // namespace vdescribe
