// Registry records of external-bundle modules: opening and closing the
// bundle, objects from its newer factory, and GUI objects of the older style
// handed to the editor's wrapper.
#include "SdkRig.h"

#include "core/Module_Info3.h"

using namespace sdk_test;

namespace
{
Module_Info3* Record(const wchar_t* id)
{
    ModuleFolder();
    return dynamic_cast<Module_Info3*>(CModuleFactory::Instance()->GetById(id));
}

// Stands in for the editor's wrapper: counts what it is given.
struct FakeWrapper
{
    static inline gmpi::IMpUnknown* attached = nullptr;
    static inline int hostAsked = 0;
};

const Module_Info3::GuiWrapperAccess kFakeAccess{
    [](GuiModuleWrapper*) -> gmpi::IMpUnknown* {
        ++FakeWrapper::hostAsked;
        return nullptr;
    },
    [](GuiModuleWrapper*, gmpi::IMpUnknown* gui) {
        gui->addRef();
        FakeWrapper::attached = gui;
    }};
} // namespace

TEST(SdkModuleTypes, ExternalRecordOpensItsBundleOnDemandAndMakesObjectsByIdAndSubtype)
{
    Module_Info3* gain = Record(L"KV Test SDK Gain");
    ASSERT_NE(gain, nullptr);
    EXPECT_EQ(gain->Filename(), L"KvTestModules.kvm");
    EXPECT_FALSE(gain->isSummary());
    EXPECT_TRUE(gain->OnDemandLoad());
    EXPECT_FALSE(gain->LoadDllOnDemand());

    gmpi::IMpUnknown* object = gain->Build(gmpi::MP_SUB_TYPE_AUDIO, false);
    ASSERT_NE(object, nullptr);
    void* plugin = nullptr;
    EXPECT_EQ(object->queryInterface(gmpi::MP_IID_PLUGIN2, &plugin), gmpi::MP_OK);
    static_cast<gmpi::IMpUnknown*>(plugin)->release();
    EXPECT_EQ(object->release(), 0);
    // No GUI subtype is registered for it; quiet asks compose nothing.
    const size_t before = CModuleFactory::Instance()->Diagnostics().size();
    EXPECT_EQ(gain->Build(gmpi::MP_SUB_TYPE_GUI3, true), nullptr);
    EXPECT_EQ(CModuleFactory::Instance()->Diagnostics().size(), before);

    gmpi::IMpUnknown* factory = gain->getFactory();
    ASSERT_NE(factory, nullptr);
    factory->release();

    Module_Info3* missing = Record(L"KV Test SDK Missing");
    ASSERT_NE(missing, nullptr);
    EXPECT_FALSE(missing->OnDemandLoad());
    EXPECT_TRUE(missing->LoadDllOnDemand());
    EXPECT_EQ(missing->getFactory(), nullptr);
}

TEST(SdkModuleTypes, OlderGuiObjectsGoToTheWrapperAndAFailureIsADiagnostic)
{
    Module_Info3::SetGuiWrapperAccess(&kFakeAccess);
    // Counted afresh each run (the test may be repeated in one process).
    FakeWrapper::hostAsked = 0;
    FakeWrapper::attached = nullptr;
    auto* wrapper = reinterpret_cast<GuiModuleWrapper*>(&FakeWrapper::attached);

    Module_Info3* gui = Record(L"KV Test SDK Old Gui");
    ASSERT_NE(gui, nullptr);
    EXPECT_TRUE(gui->Build_BackwardCompatible(wrapper));
    ASSERT_NE(FakeWrapper::attached, nullptr);
    EXPECT_EQ(FakeWrapper::hostAsked, 1);
    // The wrapper holds the only reference left.
    EXPECT_EQ(FakeWrapper::attached->release(), 0);

    EXPECT_FALSE(Record(L"KV Test SDK Old Gui Missing")->Build_BackwardCompatible(wrapper));
    EXPECT_TRUE(AnyDiagnosticContains(
        L"Fail to instansiate module GUI class. check RegisterPlugin() matches XML file module id: "
        L"KV Test SDK Old Gui Missing"));
    // A type without a GUI part makes none, and says nothing.
    EXPECT_FALSE(Record(L"KV Test SDK Gain")->Build_BackwardCompatible(wrapper));
    Module_Info3::SetGuiWrapperAccess(nullptr);
}
