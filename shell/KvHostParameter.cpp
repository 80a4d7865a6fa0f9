#include "shell/KvHostParameter.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "core/ValueRule.h"
#include "core/conversion.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
constexpr int kTextUnits = 128;

// Hosts pass String128 buffers; a longer text is read no further than that.
std::u16string ReadText(const TChar* text)
{
    std::u16string out;
    if (text == nullptr)
        return out;
    for (int i = 0; i < kTextUnits && text[i] != 0; ++i)
        out.push_back(static_cast<char16_t>(text[i]));
    return out;
}

// With a decimal point in every locale, as fromString reads it.
std::string FormatNumber(double value, int precision)
{
    return std::fabs(value) < 1e15 ? DoubleToFixedUtf8(value, precision) : DoubleToUtf8(value);
}
} // namespace

KvHostParameter::KvHostParameter(const ParameterInfo& given) : Parameter(given)
{
    valueNormalized = Unit(given.defaultNormalizedValue);
    info.defaultNormalizedValue = valueNormalized;
}

double KvHostParameter::Unit(double normalized)
{
    return ValueRule::Normalized(normalized) ? normalized : 0.0;
}

std::string KvHostParameter::Narrow(const TChar* text)
{
    const std::u16string units = ReadText(text);
    return WStringToUtf8(std::wstring(units.begin(), units.end()));
}

void KvHostParameter::Write(String128 text, const std::u16string& wide)
{
    if (text == nullptr)
        return;
    const std::size_t n = std::min<std::size_t>(wide.size(), kTextUnits - 1);
    for (std::size_t i = 0; i < n; ++i)
        text[i] = static_cast<TChar>(wide[i]);
    text[n] = 0;
}

void KvHostParameter::Write(String128 text, const std::string& utf8)
{
    Utf8ToChar16s(utf8, text, kTextUnits);
}

void KvHostParameter::WriteTitle(String128 title, const std::string& name)
{
    constexpr int kTitleUnits = 50;
    Utf8ToChar16s(name, title, kTitleUnits + 1);
}

bool KvHostParameter::setNormalized(ParamValue value)
{
    if (!ValueRule::Normalized(value))
        return false;
    if (std::atomic_ref<ParamValue>(valueNormalized).exchange(value) == value)
        return false;
    changed();
    return true;
}

ParamValue KvHostParameter::CurrentNormalized(const Parameter& parameter)
{
    if (const auto* ours = dynamic_cast<const KvHostParameter*>(&parameter))
        return std::atomic_ref<ParamValue>(const_cast<ParamValue&>(ours->valueNormalized)).load();
    return parameter.getNormalized();
}

void KvHostParameter::toString(ParamValue normalized, String128 text) const
{
    const double n = Unit(normalized);
    if (info.stepCount == 1)
        Write(text, std::string(ValueRule::SwitchOn(n) ? "On" : "Off"));
    else
        Write(text, FormatNumber(n, precision));
}

bool KvHostParameter::fromString(const TChar* text, ParamValue& normalized) const
{
    double value = 0.0;
    if (!ValueRule::ParseNumber(Narrow(text), value) || !ValueRule::Normalized(value))
        return false;
    normalized = value;
    return true;
}

ParamValue KvHostParameter::toPlain(ParamValue normalized) const
{
    return Unit(normalized);
}

ParamValue KvHostParameter::toNormalized(ParamValue plain) const
{
    if (std::isnan(plain))
        return 0.0;
    return std::clamp(plain, 0.0, 1.0);
}

KvSwitchHostParameter::KvSwitchHostParameter(const ParameterInfo& given) : KvHostParameter(given) {}

void KvSwitchHostParameter::toString(ParamValue normalized, String128 text) const
{
    Write(text, std::string(ValueRule::SwitchOn(Unit(normalized)) ? "On" : "Off"));
}

bool KvSwitchHostParameter::fromString(const TChar* text, ParamValue& normalized) const
{
    const std::string given = Narrow(text);
    bool on = false;
    if (given == "On" || given == "on")
        on = true;
    else if (given != "Off" && given != "off" && !ValueRule::Bool(given, on))
        return false;
    normalized = on ? 1.0 : 0.0;
    return true;
}

ParamValue KvSwitchHostParameter::toPlain(ParamValue normalized) const
{
    return ValueRule::SwitchOn(Unit(normalized)) ? 1.0 : 0.0;
}

ParamValue KvSwitchHostParameter::toNormalized(ParamValue plain) const
{
    // A plain value is on when it is not zero, as in states and presets.
    return !std::isnan(plain) && plain != 0.0 ? 1.0 : 0.0;
}

KvRangeHostParameter::KvRangeHostParameter(const ParameterInfo& given, double minimum, double maximum,
                                           int digits, bool whole)
    : KvHostParameter(given), minimum_(minimum), maximum_(maximum), whole_(whole)
{
    if (!std::isfinite(minimum_) || !std::isfinite(maximum_))
    {
        minimum_ = 0.0;
        maximum_ = 1.0;
    }
    if (whole_)
    {
        minimum_ = std::trunc(minimum_);
        maximum_ = std::trunc(maximum_);
    }
    info.stepCount = std::max(given.stepCount, 0);
    setPrecision(digits);
}

ParamValue KvRangeHostParameter::toPlain(ParamValue normalized) const
{
    const double n = Unit(normalized);
    return whole_ ? ValueRule::WholePlain(n, minimum_, maximum_) : ValueRule::RangePlain(n, minimum_, maximum_);
}

ParamValue KvRangeHostParameter::toNormalized(ParamValue plain) const
{
    return whole_ ? ValueRule::WholeNormalized(plain, minimum_, maximum_)
                  : ValueRule::RangeNormalized(plain, minimum_, maximum_);
}

void KvRangeHostParameter::toString(ParamValue normalized, String128 text) const
{
    Write(text, FormatNumber(toPlain(normalized), whole_ ? 0 : precision));
}

bool KvRangeHostParameter::fromString(const TChar* text, ParamValue& normalized) const
{
    double plain = 0.0;
    if (!ValueRule::ParseNumber(Narrow(text), plain))
        return false;
    normalized = toNormalized(plain);
    return true;
}

KvListHostParameter::KvListHostParameter(const ParameterInfo& given, std::vector<std::u16string> names)
    : KvHostParameter(given), names_(std::move(names))
{
    info.stepCount = std::max(Count() - 1, 0);
    info.flags |= ParameterInfo::kIsList;
}

ParamValue KvListHostParameter::toPlain(ParamValue normalized) const
{
    const int count = Count();
    if (count < 2)
        return 0.0;
    return ValueRule::WholePlain(Unit(normalized), 0.0, count - 1.0);
}

ParamValue KvListHostParameter::toNormalized(ParamValue plain) const
{
    const int count = Count();
    if (count < 2)
        return 0.0;
    return ValueRule::WholeNormalized(plain, 0.0, count - 1.0);
}

void KvListHostParameter::toString(ParamValue normalized, String128 text) const
{
    if (names_.empty())
    {
        Write(text, std::u16string());
        return;
    }
    Write(text, names_[static_cast<std::size_t>(toPlain(normalized))]);
}

bool KvListHostParameter::fromString(const TChar* text, ParamValue& normalized) const
{
    const std::u16string wanted = ReadText(text);
    for (std::size_t i = 0; i < names_.size(); ++i)
    {
        if (names_[i] == wanted)
        {
            normalized = toNormalized(static_cast<double>(i));
            return true;
        }
    }
    return false;
}
