// flash.geom: Point, Rectangle, Matrix, ColorTransform and Transform.
#include "swf/avm1/vm.h"

namespace swf::avm1 {

void installGeom(EngineImpl&) {}

}  // namespace swf::avm1
