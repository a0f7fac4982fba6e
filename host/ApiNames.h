// Names of the host API's codes for messages and listings: result codes,
// commands, output flags and Premiere's pixel formats.
#pragma once

#include <string>
#include <vector>

#include "api/AE_Effect.h"
#include "api/AE_EffectSuites.h"

namespace vhost {

// "PF_Err_BAD_CALLBACK_PARAM", or null for a code the API does not name.
const char* ErrorName(PF_Err err);
// "516 (PF_Err_BAD_CALLBACK_PARAM)", or just the number.
std::string DescribeError(PF_Err err);

// "PF_Cmd_RENDER", or null.
const char* CommandName(PF_Cmd cmd);

// The set bits of PF_OutData.out_flags by name ("CUSTOM_UI"...), unknown ones as "bit N".
std::vector<std::string> OutFlagNames(A_long flags);

// "BGRA_4444_8u"..., or "unknown".
const char* PixelFormatName(PrPixelFormat format);

// The four characters of a code, unprintable ones as '?'. Application ids read
// high byte first ('PrMr'); Premiere's pixel formats low byte first ('bgra').
std::string FourCC(A_long code, bool low_byte_first);

}  // namespace vhost
