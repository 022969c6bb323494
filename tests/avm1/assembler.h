#pragma once
// The engine tests write their action bytes with the writer's assembler.
#include "swf/writer/actions.h"

namespace avm1test {
using Asm = swf::writer::Actions;
}
