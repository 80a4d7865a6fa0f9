#pragma once
// The built-in GUI modules register themselves from their units' static
// initializers. The editor calls this so that those units are always linked
// into the plug-in, even from a static library. UI thread.

void EnsureBuiltInGuiModules();
