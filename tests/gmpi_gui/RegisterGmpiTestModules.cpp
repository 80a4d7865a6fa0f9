// The graphics-API test modules compiled into the test program: registered
// for subtype 2 under the ids the test bundle's documents use.
#include "core/CModuleFactory.h"
#include "modules/GmpiTestModules.h"

namespace
{
template <class T>
gmpi::IMpUnknown* create()
{
    return static_cast<gmpi::IMpUserInterface2*>(new T());
}

int32_t registerModules()
{
    RegisterPlugin(2, L"KV Test GMPI Draw", &create<gmpi_test::TestDrawModule>);
    RegisterPlugin(2, L"KV Test GMPI Pointer", &create<gmpi_test::TestPointerModule>);
    return RegisterPlugin(2, L"KV Test GMPI Bitmap", &create<gmpi_test::TestBitmapModule>);
}

const int32_t registered = registerModules();
} // namespace
