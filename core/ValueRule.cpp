#include "core/ValueRule.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "core/it_enum_list.h"

namespace ValueRule
{
namespace
{
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
} // namespace

bool Normalized(double& n)
{
    if (!std::isfinite(n))
        return false;
    n = std::clamp(n, 0.0, 1.0);
    return true;
}

bool ParseNumber(std::string_view text, double& out)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    // from_chars takes no leading '+'; a sign must be followed by the number.
    if (begin < end && text[begin] == '+' && (begin + 1 == end || text[begin + 1] == '-'))
        return false;
    if (begin < end && text[begin] == '+')
        ++begin;
    if (begin == end)
        return false;
    double value = 0.0;
    const char* first = text.data() + begin;
    const char* last = text.data() + end;
    const auto [stop, error] = std::from_chars(first, last, value, std::chars_format::general);
    if (error != std::errc() || stop != last || !std::isfinite(value))
        return false;
    out = value;
    return true;
}

std::string SavedNumberText(std::string_view text)
{
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0;
    const std::size_t n = text.size();
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < n && isDigit(text[i]))
            ++i;
        return i - from;
    };
    while (i < n && IsBlank(text[i]))
        ++i;
    if (i < n && (text[i] == '-' || text[i] == '+'))
        ++i;
    std::size_t mantissa = digits();
    const std::size_t comma = i;
    if (i == n || text[i] != ',')
        return std::string(text);
    ++i;
    mantissa += digits();
    if (mantissa == 0)
        return std::string(text);
    if (i < n && (text[i] == 'e' || text[i] == 'E'))
    {
        ++i;
        if (i < n && (text[i] == '-' || text[i] == '+'))
            ++i;
        if (digits() == 0)
            return std::string(text);
    }
    while (i < n && IsBlank(text[i]))
        ++i;
    if (i != n)
        return std::string(text);
    std::string number(text);
    number[comma] = '.';
    return number;
}

double Clamp(double v, double a, double b)
{
    const double low = std::min(a, b);
    const double high = std::max(a, b);
    return std::clamp(v, low, high);
}

bool LimitBound(double& bound, double fallback)
{
    if (!std::isfinite(bound))
    {
        bound = fallback;
        return false;
    }
    const double limited = std::clamp(bound, -kRangeLimit, kRangeLimit);
    const bool kept = limited == bound;
    bound = limited;
    return kept;
}

// The number of text, clamped to a..b when both bounds are finite.
static bool ParseInRange(std::string_view text, double a, double b, double& v)
{
    if (!ParseNumber(text, v))
        return false;
    if (std::isfinite(a) && std::isfinite(b))
        v = Clamp(v, a, b);
    return true;
}

bool Float(std::string_view text, double a, double b, float& out)
{
    double v = 0.0;
    if (!ParseInRange(text, a, b, v))
        return false;
    v = std::clamp(v, static_cast<double>(-std::numeric_limits<float>::max()), static_cast<double>(std::numeric_limits<float>::max()));
    out = static_cast<float>(v);
    return true;
}

bool Int(std::string_view text, double a, double b, int32_t& out)
{
    double v = 0.0;
    if (!ParseInRange(text, a, b, v))
        return false;
    v = std::clamp(std::trunc(v), -2147483648.0, 2147483647.0);
    out = static_cast<int32_t>(v);
    return true;
}

bool Enum(std::string_view text, const std::wstring& enumList, int32_t& out)
{
    double v = 0.0;
    if (!ParseNumber(text, v) || v != std::trunc(v) || v < -2147483648.0 || v > 2147483647.0)
        return false;
    const auto value = static_cast<int32_t>(v);
    if (!it_enum_list::IsValidValue(enumList, value))
        return false;
    out = value;
    return true;
}

bool Bool(std::string_view text, bool& out)
{
    double v = 0.0;
    if (!ParseNumber(text, v))
        return false;
    out = v != 0.0;
    return true;
}

static double Unit(double n)
{
    return std::isnan(n) ? 0.0 : std::clamp(n, 0.0, 1.0);
}

double WholePlain(double n, double a, double b)
{
    const double steps = std::fabs(b - a);
    const double k = std::min(steps, std::floor(Unit(n) * (steps + 1.0)));
    return b < a ? a - k : a + k;
}

double WholeNormalized(double plain, double a, double b)
{
    const double span = b - a;
    if (std::isnan(plain) || span == 0.0)
        return 0.0;
    const double whole = std::trunc(Clamp(plain, a, b));
    return Unit((whole - a) / span);
}

double RangePlain(double n, double a, double b)
{
    return a + Unit(n) * (b - a);
}

double RangeNormalized(double plain, double a, double b)
{
    const double span = b - a;
    if (std::isnan(plain))
        return 0.0;
    // A range of no width: above it is the top, anything else the bottom.
    if (span == 0.0)
        return plain > a ? 1.0 : 0.0;
    return Unit((Clamp(plain, a, b) - a) / span);
}

bool SwitchOn(double n)
{
    return n >= 0.5;
}
} // namespace ValueRule
