#pragma once
// Filter lists between the scripting engine (avm1::FilterValues, script units) and the
// player (swf::Filter, as PlaceObject3 stores them). What comes from script is clamped to
// the limits in filters.h and cleaned of non-finite numbers before it reaches the renderer.
#include "swf/avm1/host.h"
#include "swf/filters.h"

namespace swf {

avm1::FilterValues scriptFilterFrom(const Filter& filter);
Filter filterFromScript(const avm1::FilterValues& values);

}  // namespace swf
