// A filter's MLT properties as the values' reader takes them: the text as it
// was set, and numbers and rectangles through MLT's own animation at a frame.
// The filter and the properties' fuzz driver read through this one source.
#pragma once

#include <framework/mlt.h>

#include "mlt/FilterProperties.h"

namespace vmlt {

// `properties` at frame `position` of `length` frames. Reading an animated
// property caches its parse in the property: the caller holds the service's
// lock, or owns `properties` alone.
PropertySource MltPropertySource(mlt_properties properties, int position, int length);

}  // namespace vmlt
