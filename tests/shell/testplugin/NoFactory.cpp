// A module with the entry points but no GetPluginFactory: what the host must
// refuse with a clear message.

extern "C" __attribute__((visibility("default"))) bool ModuleEntry(void*)
{
    return true;
}

extern "C" __attribute__((visibility("default"))) bool ModuleExit()
{
    return true;
}
