#include "tests/shell/HostModel.h"
using namespace host_model;
TEST(Scratch, Seed444)
{
    Plugin p(KV_PROGRAM_SYNTH_BUNDLE);
    p.Block(128, {{10130, 1.0, 0}});
    auto s = p.ProcessorState();
    auto c = p.ControllerState();
    p.Block(128, {{10130, 0.5, 0}});
    p.Restore(s, c);
    fprintf(stderr, "after restore: prog %g tone %g\n", p.controller()->getParamNormalized(10130), p.controller()->getParamNormalized(1));
    p.Block(128, {{1, 0.24, 0}, {10130, 1.0, 0}});
    fprintf(stderr, "after block: prog %g tone %g\n", p.controller()->getParamNormalized(10130), p.controller()->getParamNormalized(1));
}
