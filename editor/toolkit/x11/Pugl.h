#pragma once
// pugl's C headers (they do not declare C linkage themselves) and its plain
// back end.

extern "C" {
#include <pugl/stub.h>
#include <pugl/pugl.h>
}
