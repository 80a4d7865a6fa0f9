#pragma once
// pugl's C headers (they do not declare C linkage themselves) and its cairo
// back end.

extern "C" {
#include <pugl/cairo.h>
#include <pugl/pugl.h>
}
