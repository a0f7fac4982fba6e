#include "mlt/MltPropertySource.h"

#include <vector>

namespace vmlt {

PropertySource MltPropertySource(mlt_properties properties, int position, int length) {
    PropertySource source;
    source.text = [=](const char* name) { return mlt_properties_get(properties, name); };
    source.number_at = [=](const char* name) {
        return mlt_properties_anim_get_double(properties, name, position, length);
    };
    source.rect_at = [=](const char* name) {
        const mlt_rect r = mlt_properties_anim_get_rect(properties, name, position, length);
        return std::vector<double>{r.x, r.y, r.w, r.h};
    };
    return source;
}

}  // namespace vmlt
