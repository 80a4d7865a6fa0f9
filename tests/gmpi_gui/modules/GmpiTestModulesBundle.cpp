// The graphics-API test modules in an external module bundle.
#include "GmpiTestModules.h"
#include "MpFactory.h"

namespace
{
template <class T>
gmpi::IMpUnknown* create()
{
    return static_cast<gmpi::IMpUserInterface2*>(new T());
}

const bool registered = [] {
    auto* factory = gmpi_sdk::MpFactory::Instance();
    factory->RegisterPlugin(gmpi::MP_SUB_TYPE_GUI2, L"KV Test GMPI Draw", &create<gmpi_test::TestDrawModule>);
    factory->RegisterPlugin(gmpi::MP_SUB_TYPE_GUI2, L"KV Test GMPI Pointer", &create<gmpi_test::TestPointerModule>);
    factory->RegisterPlugin(gmpi::MP_SUB_TYPE_GUI2, L"KV Test GMPI Bitmap", &create<gmpi_test::TestBitmapModule>);
    return true;
}();
} // namespace
