// The MLT filter described for the programs that show it: MLT's metadata
// (filter_vellora.yml, what `melt -query filter=vellora` prints) and
// Kdenlive's effect descriptors (vellora.xml and its mask variant), and the
// library each Shotcut filter folder reads (params.js), all made from the parameter
// table and what the effect declares, so neither repeats a name, range,
// default or choice.
#pragma once

#include <string>

#include "mlt/FilterProperties.h"
#include "params/ParamTable.h"

namespace vdescribe {

std::string MltMetadata(const vparams::Declaration& declared);
// Kdenlive's descriptor of the filter as `entry` lists it (kPlainEntry, or
// kMaskEntry for the "(Mask)" variant, its properties under "filter.").
std::string KdenliveEffect(const vparams::Declaration& declared, const vmlt::FilterEntry& entry);
// The params.js of a Shotcut filter folder listing the filter as `entry` does.
std::string ShotcutParams(const vparams::Declaration& declared, const vmlt::FilterEntry& entry);

}  // namespace vdescribe
