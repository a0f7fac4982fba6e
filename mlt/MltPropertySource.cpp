#include "mlt/MltPropertySource.h"

#include <cstring>
#include <string>
#include <vector>

namespace vmlt {

namespace {

// Where the text as given, and the text MLT showed after parsing it, are kept.
std::string GivenName(const char* name) { return std::string("_vellora.given.") + name; }
std::string WrittenName(const char* name) { return std::string("_vellora.written.") + name; }

// The property's text as it was set. Once MLT has parsed an animation it
// writes the text back from its keys, and not losslessly: a rect key past
// the clip's end becomes one number, which reads as no rect on later frames.
// So the text as set is kept beside the text MLT wrote; while the property
// still holds what MLT wrote, nobody has set it since, and the kept text is
// the real one. The "_" names are not saved with the project.
const char* GivenText(mlt_properties properties, const char* name) {
    const char* now = mlt_properties_get(properties, name);
    if (!now) return nullptr;
    const std::string given = GivenName(name);
    const char* written = mlt_properties_get(properties, WrittenName(name).c_str());
    const char* kept = mlt_properties_get(properties, given.c_str());
    if (kept && written && std::strcmp(now, written) == 0) return kept;
    const std::string text = now;  // `now` may move while the properties change
    mlt_properties_set(properties, given.c_str(), text.c_str());
    mlt_properties_set(properties, WrittenName(name).c_str(), text.c_str());
    return mlt_properties_get(properties, given.c_str());
}

// Notes the text MLT wrote back after a parse, so GivenText knows it for its own.
void NoteWritten(mlt_properties properties, const char* name) {
    const char* now = mlt_properties_get(properties, name);
    if (now) mlt_properties_set(properties, WrittenName(name).c_str(), std::string(now).c_str());
}

}  // namespace

PropertySource MltPropertySource(mlt_properties properties, int position, int length) {
    PropertySource source;
    source.text = [=](const char* name) { return GivenText(properties, name); };
    source.number_at = [=](const char* name) {
        const double value = mlt_properties_anim_get_double(properties, name, position, length);
        NoteWritten(properties, name);
        return value;
    };
    source.rect_at = [=](const char* name) {
        const mlt_rect r = mlt_properties_anim_get_rect(properties, name, position, length);
        NoteWritten(properties, name);
        return std::vector<double>{r.x, r.y, r.w, r.h};
    };
    return source;
}

}  // namespace vmlt
