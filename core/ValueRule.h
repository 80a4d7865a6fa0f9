#pragma once
// The one rule for parameter values that come from outside the plug-in (host
// calls, state chunks, preset files, documents in the bundle). The processor
// and the controller both bring such values into range with it, so the two
// sides always agree on what a value became, or that it was refused.
//
// Numbers from text must be a whole, finite number ("nan", "inf", "abc",
// "1e400" and "2x" are refused); finite numbers outside a range are clamped to
// it; an enum value must be one of its list's values. Ranges themselves are
// kept within +-kRangeLimit.

#include <cstdint>
#include <string>
#include <string_view>

namespace ValueRule
{
// The largest magnitude a range bound may have.
constexpr double kRangeLimit = 1e9;

// A normalised value: finite values are clamped to 0..1; NaN and infinities
// are refused (false, n unchanged).
bool Normalized(double& n);

// The whole text as a finite number; blanks around it are allowed. Locale
// independent. False for anything else.
bool ParseNumber(std::string_view text, double& out);

// A number field of a saved state or preset as the readers take it. Builds
// before this one could write these numbers with the decimal separator of the
// host's locale, a comma under many ("1,5", "-2,5e-07"): a text that is a
// plain number but for one comma in place of the point comes back with the
// point. Any other text, a list or a name among them, comes back unchanged.
std::string SavedNumberText(std::string_view text);

// v clamped into the range between a and b (in either order). v must be finite.
double Clamp(double v, double a, double b);

// A range bound kept within +-kRangeLimit; false when it had to be moved (or
// was not finite, which gives fallback).
bool LimitBound(double& bound, double fallback);

// Text for a float parameter of range a..b: false when refused.
bool Float(std::string_view text, double a, double b, float& out);
// Text for an int parameter of range a..b: clamped, then truncated toward zero.
bool Int(std::string_view text, double a, double b, int32_t& out);
// Text for an enum parameter: the number must be a value of the list.
bool Enum(std::string_view text, const std::wstring& enumList, int32_t& out);
// Text for a bool parameter: any finite number; nonzero is true.
bool Bool(std::string_view text, bool& out);

// Host normalised values and the plain values they stand for. The
// controller (host text, normalizedParamToPlain) and the engine (what
// plays and is saved) both map through these, so the two never differ.
// NaN counts as 0, other values outside 0..1 are clamped.
//
// Whole numbers from a to b (either order): |b - a| steps. n picks step
// k = floor(n * (steps + 1)), the last one for n = 1, as hosts read stepped
// parameters; step k's own normalised value is k / steps, which picks k.
double WholePlain(double n, double a, double b);
// The normalised value of a plain value: clamped to a..b, cut toward zero
// to a whole number as Int does, then k / steps.
double WholeNormalized(double plain, double a, double b);
// Continuous values from a to b: a + n (b - a), and back (clamped).
double RangePlain(double n, double a, double b);
double RangeNormalized(double plain, double a, double b);
// An on/off value: on from 0.5 up.
bool SwitchOn(double n);
} // namespace ValueRule
