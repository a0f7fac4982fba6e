#include "host/ApiNames.h"

namespace vhost {

const char* ErrorName(PF_Err err) {
    switch (err) {
        case PF_Err_NONE: return "PF_Err_NONE";
        case PF_Err_OUT_OF_MEMORY: return "PF_Err_OUT_OF_MEMORY";
        case PF_Err_INTERNAL_STRUCT_DAMAGED: return "PF_Err_INTERNAL_STRUCT_DAMAGED";
        case PF_Err_INVALID_INDEX: return "PF_Err_INVALID_INDEX";
        case PF_Err_UNRECOGNIZED_PARAM_TYPE: return "PF_Err_UNRECOGNIZED_PARAM_TYPE";
        case PF_Err_INVALID_CALLBACK: return "PF_Err_INVALID_CALLBACK";
        case PF_Err_BAD_CALLBACK_PARAM: return "PF_Err_BAD_CALLBACK_PARAM";
        case PF_Interrupt_CANCEL: return "PF_Interrupt_CANCEL";
        case PF_Err_CANNOT_PARSE_KEYFRAME_TEXT: return "PF_Err_CANNOT_PARSE_KEYFRAME_TEXT";
        default: return nullptr;
    }
}

std::string DescribeError(PF_Err err) {
    const char* name = ErrorName(err);
    return std::to_string(err) + (name ? std::string(" (") + name + ")" : std::string());
}

const char* CommandName(PF_Cmd cmd) {
    static const char* const kNames[] = {
        "PF_Cmd_ABOUT",           "PF_Cmd_GLOBAL_SETUP",       "PF_Cmd_UNUSED_0",
        "PF_Cmd_GLOBAL_SETDOWN",  "PF_Cmd_PARAMS_SETUP",       "PF_Cmd_SEQUENCE_SETUP",
        "PF_Cmd_SEQUENCE_RESETUP", "PF_Cmd_SEQUENCE_FLATTEN",  "PF_Cmd_SEQUENCE_SETDOWN",
        "PF_Cmd_DO_DIALOG",       "PF_Cmd_FRAME_SETUP",        "PF_Cmd_RENDER",
        "PF_Cmd_FRAME_SETDOWN",   "PF_Cmd_USER_CHANGED_PARAM", "PF_Cmd_UPDATE_PARAMS_UI",
        "PF_Cmd_EVENT",           "PF_Cmd_GET_EXTERNAL_DEPENDENCIES", "PF_Cmd_COMPLETELY_GENERAL",
        "PF_Cmd_QUERY_DYNAMIC_FLAGS", "PF_Cmd_AUDIO_RENDER",   "PF_Cmd_AUDIO_SETUP",
        "PF_Cmd_AUDIO_SETDOWN",   "PF_Cmd_ARBITRARY_CALLBACK", "PF_Cmd_SMART_PRE_RENDER",
        "PF_Cmd_SMART_RENDER"};
    return cmd >= 0 && cmd < static_cast<PF_Cmd>(sizeof(kNames) / sizeof(kNames[0])) ? kNames[cmd] : nullptr;
}

std::vector<std::string> OutFlagNames(A_long flags) {
    static const struct {
        A_long bit;
        const char* name;
    } kFlags[] = {{PF_OutFlag_DISPLAY_ERROR_MESSAGE, "DISPLAY_ERROR_MESSAGE"},
                  {PF_OutFlag_PIX_INDEPENDENT, "PIX_INDEPENDENT"},
                  {PF_OutFlag_CUSTOM_UI, "CUSTOM_UI"},
                  {PF_OutFlag_DEEP_COLOR_AWARE, "DEEP_COLOR_AWARE"},
                  {PF_OutFlag_SEND_UPDATE_PARAMS_UI, "SEND_UPDATE_PARAMS_UI"}};
    std::vector<std::string> names;
    A_long known = 0;
    for (const auto& flag : kFlags) {
        known |= flag.bit;
        if (flags & flag.bit) names.push_back(flag.name);
    }
    for (int bit = 0; bit < 32; ++bit) {
        const A_long mask = static_cast<A_long>(1u << bit);
        if ((flags & mask) && !(known & mask)) names.push_back("bit " + std::to_string(bit));
    }
    return names;
}

const char* PixelFormatName(PrPixelFormat format) {
    switch (format) {
        case PrPixelFormat_BGRA_4444_32f: return "BGRA_4444_32f";
        case PrPixelFormat_BGRA_4444_8u: return "BGRA_4444_8u";
        case PrPixelFormat_VUYA_4444_8u: return "VUYA_4444_8u";
        case PrPixelFormat_ARGB_4444_8u: return "ARGB_4444_8u";
        default: return "unknown";
    }
}

std::string FourCC(A_long code, bool low_byte_first) {
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i) {
        const int shift = low_byte_first ? 8 * i : 8 * (3 - i);
        const char c = static_cast<char>((static_cast<A_u_long>(code) >> shift) & 0xFFu);
        text[static_cast<size_t>(i)] = (c >= 32 && c < 127) ? c : '?';
    }
    return text;
}

}  // namespace vhost
