// The OBS filter "vellora_mask" ("Vellora Mask"): a synchronous video filter,
// so it applies to every video source (cameras, media, images, captures,
// scenes, groups). Each frame its target goes through RoundTrip and the
// embedded effect: one render command through EntryPointFunc with the frame's
// time and the filter's settings.
#pragma once

namespace vobs {

// Registers the filter with OBS; throws when the effect cannot be set up.
void RegisterMaskFilter();

}  // namespace vobs
