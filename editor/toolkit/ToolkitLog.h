#pragma once
// One line on stderr for what the toolkit refused or could not do.

namespace VSTGUI {

void toolkitLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace VSTGUI
