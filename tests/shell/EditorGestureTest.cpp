// The editor's edits reach the host as gestures: beginEdit, the edits,
// endEdit, for each parameter; the pointer held from press to release makes
// one gesture of each parameter it edits, else each edit is one. Edits that
// wait for the host (made inside a call of a host that holds its lock
// there) keep that order, and one a newer value overtakes is dropped.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ShellUnitSupport.h"
#include "core/ParameterFieldType.h"
#include "shell/ADelayController.h"
#include "shell/KvHostCalls.h"
#include "tools/kvhost/HostMemoryStream.h"

using namespace shell_test;
using namespace shell_unit;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
// Two host parameters, 0..10: handle 1 is host id 3, handle 2 host id 4.
const char* kParameters = R"(<Document><C><Parameters>
  <Parameter Name="Gain" Handle="1" Index="3" RangeMinimum="0" RangeMaximum="10"><patch-list>1</patch-list></Parameter>
  <Parameter Name="Tone" Handle="2" Index="4" RangeMinimum="0" RangeMaximum="10"><patch-list>1</patch-list></Parameter>
</Parameters></C></Document>)";

struct GestureFixture
{
    explicit GestureFixture(const char* hostName)
        : factory(MakeBundle(scratch, "G", {{"parameters.kv.xml", kParameters}})),
          controller(owned(new ADelayController(&factory)))
    {
        host.name = hostName;
        controller->initialize(&host);
        controller->setComponentHandler(&handler);
    }
    ~GestureFixture() { controller->terminate(); }

    void Edit(int handle, float normalized)
    {
        controller->setParameterFromGui(handle, FT_NORMALIZED, sizeof(normalized), &normalized);
    }
    // The handler calls as text: "b3 e3=0.2 x3".
    std::string Calls()
    {
        std::string text;
        for (const auto& call : handler.takeCalls())
        {
            char item[32];
            if (call.kind == 'e')
                std::snprintf(item, sizeof(item), "%se%u=%.1f", text.empty() ? "" : " ", call.id, call.value);
            else
                std::snprintf(item, sizeof(item), "%s%c%u", text.empty() ? "" : " ", call.kind, call.id);
            text += item;
        }
        return text;
    }

    ScratchFolder scratch;
    MyVstPluginFactory factory;
    KvHostApplication host;
    HostComponentHandler handler;
    IPtr<ADelayController> controller;
};
} // namespace

TEST(EditorGesture, EditsAreGesturesInOrderAlsoWhenTheyWaitAndANewerValueDropsAWaitingEdit)
{
    struct Case
    {
        const char* host;
        // Edits made inside a host call (an automator answering it, keys the
        // host forwards): for Ardour they wait until the call has returned.
        bool insideHostCall;
        const char* drag;
        const char* single;
        const char* overtaken;
    };
    const Case cases[] = {
        {"Korvane kvhost", true, "b3 e3=0.2 b4 e4=0.9 e3=0.4 e3=0.6 x3 x4", "b4 e4=0.3 x4", "b3 e3=0.7 x3"},
        {"Ardour", false, "b3 e3=0.2 b4 e4=0.9 e3=0.4 e3=0.6 x3 x4", "b4 e4=0.3 x4", "b3 e3=0.7 x3"},
        {"Ardour", true, "b3 e3=0.2 b4 e4=0.9 e3=0.6 x3 x4", "b4 e4=0.3 x4", "b3 x3"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.host) + (c.insideHostCall ? ", inside a host call" : ""));
        GestureFixture f(c.host);
        const auto edits = [&](auto body) {
            if (c.insideHostCall)
            {
                const KvHostCalls::Scope call;
                body();
            }
            else
                body();
            // The host's next call outside its own (the timer on its run loop).
            f.controller->FlushHostCalls();
        };
        // A drag over two parameters, from press to release.
        f.controller->PointerHeld(true);
        edits([&] { f.Edit(1, 0.2f); });
        edits([&] {
            f.Edit(2, 0.9f);
            f.Edit(1, 0.4f);
            f.Edit(1, 0.6f);
        });
        f.controller->PointerHeld(false);
        const std::string drag = f.Calls();
        // Keys or a menu: no pointer held.
        edits([&] { f.Edit(2, 0.3f); });
        const std::string single = f.Calls();
        // The host's automation sets the parameter before a waiting edit went.
        edits([&] {
            f.Edit(1, 0.7f);
            f.controller->setParamNormalized(3, 0.1);
        });
        const std::string overtaken = f.Calls();
        // Each parameter's gesture begins with its first edit and ends at
        // the release; edits of one gesture that waited together go as the
        // last of them.
        EXPECT_EQ(drag, c.drag);
        EXPECT_EQ(single, c.single);
        EXPECT_EQ(overtaken, c.overtaken);
        EXPECT_DOUBLE_EQ(f.controller->getParamNormalized(3), 0.1);
    }
}
