// A shared object that is no module bundle: it exports no "MP_GetFactory".
extern "C" __attribute__((visibility("default"))) int KvNotAModuleBundle()
{
    return 1;
}
