#pragma once
// Small pieces the built-in controls share: their editor, and option menus
// filled from an enum list. UI thread only.

#include <algorithm>
#include <string>

class KVVSTGUIEditor;
class MpGuiBase2;
namespace VSTGUI
{
class COptionMenu;
}

namespace controls
{
// A list longer than this is cut there (with a log line): a menu of millions
// of entries is a faulty document, not a choice.
constexpr int kMaxMenuEntries = 4096;

// The editor of a module hosted by a GuiModuleWrapper, or null.
KVVSTGUIEditor* EditorOf(const MpGuiBase2& module);
// Empties the menu and adds one entry per item of the enum list, in order.
void FillMenu(VSTGUI::COptionMenu& menu, const std::wstring& itemList);
// The menu index of the item with that value, or -1.
int IndexOfValue(const std::wstring& itemList, int value);
// The value of the item at that menu index; false when there is none.
bool ValueAtIndex(const std::wstring& itemList, int index, int& value);
// The value clamped to 0..1; NaN counts as 0.
inline float Clamp01(float value)
{
    return value == value ? std::clamp(value, 0.0f, 1.0f) : 0.0f;
}
} // namespace controls

struct SkinFontInfo;
namespace VSTGUI
{
class CFontDesc;
}

namespace controls
{
// A font of the record's face, size and style (the caller's reference).
VSTGUI::CFontDesc* MakeFont(const SkinFontInfo& info);
// The platform font's ascent plus descent (0 without a platform font).
double TextHeight(VSTGUI::CFontDesc* font);
} // namespace controls
