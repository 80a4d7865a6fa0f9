#include "shell/MyVstPluginFactory.h"

#include <gtest/gtest.h>

#include <cstring>

#include "ShellUnitSupport.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "shell/ADelayController.h"
#include "shell/ADelayProcessor.h"

using namespace shell_test;
using namespace shell_unit;
using namespace Steinberg;

namespace
{
std::string Ids(const std::string& more = "")
{
    return std::string("Name=\"Synth\" Version=\"1.2\" ProcessorId=\"") + kProcessorId + "\" ControllerId=\"" +
           kControllerId + "\" " + more;
}

FUID Id(const char* text)
{
    FUID id;
    id.fromRegistryString(text);
    return id;
}
} // namespace

TEST(MyVstPluginFactory, IdentityComesFromTheFactoryDocument)
{
    ScratchFolder scratch;
    const std::string document = FactoryXml(Ids("subCategories=\"Fx|Delay\""));
    MyVstPluginFactory factory(MakeBundle(scratch, "A", {{"factory.kv.xml", document}}));

    PFactoryInfo info{};
    ASSERT_EQ(factory.getFactoryInfo(&info), kResultOk);
    EXPECT_STREQ(info.vendor, "V");
    EXPECT_STREQ(info.url, "u");
    EXPECT_STREQ(info.email, "mailto:e@x");
    EXPECT_EQ(info.flags, PFactoryInfo::kUnicode);
    EXPECT_EQ(factory.countClasses(), 2);

    PClassInfo2 processor{};
    ASSERT_EQ(factory.getClassInfo2(0, &processor), kResultOk);
    EXPECT_EQ(FUID::fromTUID(processor.cid), Id(kProcessorId));
    EXPECT_STREQ(processor.category, "Audio Module Class");
    EXPECT_STREQ(processor.name, "Synth");
    EXPECT_STREQ(processor.subCategories, "Fx|Delay");
    EXPECT_STREQ(processor.version, "1.2");
    EXPECT_STREQ(processor.sdkVersion, "VST 3.6.6");
    EXPECT_EQ(processor.classFlags, 1u);
    EXPECT_EQ(processor.cardinality, PClassInfo::kManyInstances);

    PClassInfoW controller{};
    ASSERT_EQ(factory.getClassInfoUnicode(1, &controller), kResultOk);
    EXPECT_EQ(FUID::fromTUID(controller.cid), Id(kControllerId));
    EXPECT_STREQ(controller.category, "Component Controller Class");
    EXPECT_EQ(controller.name[0], u'S');
    EXPECT_EQ(controller.name[5], 0);
    EXPECT_EQ(controller.subCategories[0], 0);
    EXPECT_EQ(controller.classFlags, 0u);

    PClassInfo plain{};
    EXPECT_EQ(factory.getClassInfo(2, &plain), kInvalidArgument);
    EXPECT_EQ(factory.getClassInfo2(-1, &processor), kInvalidArgument);
    EXPECT_EQ(factory.setHostContext(nullptr), kNotImplemented);
}

TEST(MyVstPluginFactory, TextsAreCutToTheirFieldsAndBadClassIdsStayZero)
{
    ScratchFolder scratch;
    // 62 bytes, then a two-byte character across the last byte before the terminator.
    const std::string longVendor = std::string(62, 'v') + "\xC3\xBCtail";
    const std::string attributes =
        "Name=\"N\" ProcessorId=\"{11111111-2222-3333-4444-55555555555G}\" ControllerId=\"11111111-2222\"";
    MyVstPluginFactory factory(MakeBundle(
        scratch, "A", {{"factory.kv.xml", FactoryXml(attributes, "<Vendor Name=\"" + longVendor + "\"/>")}}));
    PFactoryInfo info{};
    factory.getFactoryInfo(&info);
    EXPECT_STREQ(info.vendor, std::string(62, 'v').c_str());

    PClassInfo2 processor{};
    factory.getClassInfo2(0, &processor);
    const TUID zero = {};
    EXPECT_EQ(std::memcmp(processor.cid, zero, sizeof(TUID)), 0);
    PClassInfo2 controller{};
    factory.getClassInfo2(1, &controller);
    EXPECT_EQ(std::memcmp(controller.cid, zero, sizeof(TUID)), 0);
    // In UTF-16 the character takes one unit, and fits.
    PClassInfoW wide{};
    factory.getClassInfoUnicode(0, &wide);
    EXPECT_EQ(std::u16string(wide.vendor), std::u16string(62, u'v') + u"\u00FC");
}

TEST(MyVstPluginFactory, TheDocumentIsReadOnceEvenWhenItDoesNotParse)
{
    ScratchFolder scratch;
    const BundleInfo bundle = MakeBundle(scratch, "A", {{"factory.kv.xml", "<Factory><Vendor Name=\"x\""}});
    MyVstPluginFactory factory(bundle);
    PFactoryInfo info{};
    EXPECT_EQ(factory.getFactoryInfo(&info), kResultOk);
    EXPECT_STREQ(info.vendor, "");
    EXPECT_EQ(factory.countClasses(), 2);

    WriteText(bundle.resourcesPath() + "factory.kv.xml", FactoryXml(Ids()));
    factory.getFactoryInfo(&info);
    EXPECT_STREQ(info.vendor, "");
}

TEST(MyVstPluginFactory, AMissingOrTooDeepDocumentGivesAnEmptyIdentity)
{
    ScratchFolder scratch;
    MyVstPluginFactory missing(MakeBundle(scratch, "A", {}));
    EXPECT_EQ(missing.countClasses(), 2);
    EXPECT_TRUE(missing.name().empty());

    std::string deep;
    for (int i = 0; i < 50000; ++i)
        deep += "<a>";
    MyVstPluginFactory tooDeep(MakeBundle(scratch, "B", {{"factory.kv.xml", deep}}));
    EXPECT_EQ(tooDeep.countClasses(), 2);
    EXPECT_TRUE(tooDeep.vendor().empty());
}

TEST(MyVstPluginFactory, TheProcessorIdMakesAProcessorAndAnyOtherIdAController)
{
    ScratchFolder scratch;
    MyVstPluginFactory factory(
        MakeBundle(scratch, "A", {{"factory.kv.xml", FactoryXml(Ids("subCategories=\"Fx|Instrument\""))}}));

    TUID processorCid;
    Id(kProcessorId).toTUID(processorCid);
    void* object = nullptr;
    ASSERT_EQ(factory.createInstance(processorCid, Vst::IComponent::iid, &object), kResultOk);
    auto* component = static_cast<Vst::IComponent*>(object);
    TUID controllerClass;
    component->getControllerClassId(controllerClass);
    EXPECT_EQ(FUID::fromTUID(controllerClass), Id(kControllerId));
    EXPECT_TRUE(static_cast<ADelayProcessor*>(component)->isInstrument());
    component->release();

    // Case counts: "instrument" alone does not make an instrument.
    MyVstPluginFactory effect(
        MakeBundle(scratch, "B", {{"factory.kv.xml", FactoryXml(Ids("subCategories=\"Fx|instrument\""))}}));
    ASSERT_EQ(effect.createInstance(processorCid, Vst::IComponent::iid, &object), kResultOk);
    component = static_cast<Vst::IComponent*>(object);
    EXPECT_FALSE(static_cast<ADelayProcessor*>(component)->isInstrument());
    component->release();

    TUID unknown = {1, 2, 3};
    for (const TUID* cid : {&unknown, &processorCid})
    {
        object = nullptr;
        const tresult result = factory.createInstance(*cid, Vst::IEditController::iid, &object);
        if (cid == &processorCid)
        {
            // The processor has no controller face.
            EXPECT_EQ(result, kNoInterface);
            EXPECT_EQ(object, nullptr);
            continue;
        }
        ASSERT_EQ(result, kResultOk);
        static_cast<Vst::IEditController*>(object)->release();
    }
}

TEST(MyVstPluginFactory, OutputNamesAreTakenByPositionWithAFallback)
{
    ScratchFolder scratch;
    MyVstPluginFactory factory(MakeBundle(
        scratch, "A", {{"factory.kv.xml", FactoryXml(Ids("outputsAsStereoPairs=\"true\" outputNames=\"Main,Aux\""))}}));
    factory.initialize();
    EXPECT_TRUE(factory.GetOutputsAsStereoPairs());
    EXPECT_EQ(factory.GetOutputsName(0), L"Main");
    EXPECT_EQ(factory.GetOutputsName(1), L"Aux");
    EXPECT_EQ(factory.GetOutputsName(2), L"AudioOutput");
    EXPECT_EQ(factory.GetOutputsName(-1), L"AudioOutput");

    MyVstPluginFactory mono(MakeBundle(scratch, "B", {{"factory.kv.xml", FactoryXml(Ids())}}));
    mono.initialize();
    EXPECT_FALSE(mono.GetOutputsAsStereoPairs());
}
