// The module's one export (vellora.map): MLT's mlt_register, which names the
// filter and its metadata. No C++ exception may reach MLT.
#include <cstdio>
#include <string>

#include "mlt/MltFilter.h"

namespace {

void* MakeFilter(mlt_profile profile, mlt_service_type, const char*, const void*) {
    try {
        return vmlt::NewFilter(profile);
    } catch (...) {
        return nullptr;
    }
}

// The YAML installed beside MLT's own, in MLT_DATA/vellora.
mlt_properties Metadata(mlt_service_type, const char*, void* file) {
    try {
        const char* data = mlt_environment("MLT_DATA");
        const std::string path = std::string(data ? data : "") + "/vellora/" + static_cast<const char*>(file);
        return mlt_properties_parse_yaml(path.c_str());
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

extern "C" MLT_REPOSITORY {
    MLT_REGISTER(mlt_service_filter_type, "vellora", MakeFilter);
    MLT_REGISTER_METADATA(mlt_service_filter_type, "vellora", Metadata, const_cast<char*>("filter_vellora.yml"));
}
