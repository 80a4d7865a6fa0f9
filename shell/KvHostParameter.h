#pragma once
// The controller's host parameters. Every conversion is our own and safe for
// any value a host may pass: normalised values are finite and inside 0..1
// (NaN and infinities are refused), texts never run past the host's String128,
// and reading a text accepts anything, failing on what is no value.
//
//   KvHostParameter       a plain value: the normalised value is the value
//   KvRangeHostParameter  a plain range, continuous or in whole steps
//   KvListHostParameter   a list of names, one step each

#include <string>
#include <vector>

#include "public.sdk/source/vst/vstparameters.h"

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class KvHostParameter : public Steinberg::Vst::Parameter
{
public:
    explicit KvHostParameter(const Steinberg::Vst::ParameterInfo& info);

    // False, and no change, for NaN and infinities; others are clamped. Any
    // thread (some hosts set values off their user-interface thread): the
    // value is stored whole, and CurrentNormalized reads it whole.
    bool setNormalized(Steinberg::Vst::ParamValue value) SMTG_OVERRIDE;
    // Any thread: a host parameter's normalised value; ours read whole.
    static Steinberg::Vst::ParamValue CurrentNormalized(const Steinberg::Vst::Parameter& parameter);
    void toString(Steinberg::Vst::ParamValue normalized, Steinberg::Vst::String128 text) const SMTG_OVERRIDE;
    bool fromString(const Steinberg::Vst::TChar* text, Steinberg::Vst::ParamValue& normalized) const SMTG_OVERRIDE;
    Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue normalized) const SMTG_OVERRIDE;
    Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plain) const SMTG_OVERRIDE;

    // The host's text, read up to its terminator or 128 units, as UTF-8.
    static std::string Narrow(const Steinberg::Vst::TChar* text);
    // Writes UTF-8 or 16-bit text into a String128, cut to fit, terminated.
    static void Write(Steinberg::Vst::String128 text, const std::string& utf8);
    static void Write(Steinberg::Vst::String128 text, const std::u16string& wide);
    // A parameter's title: the name in UTF-16, at most 50 units of it. Called
    // where the controller builds its parameters, on the UI thread.
    static void WriteTitle(Steinberg::Vst::String128 title, const std::string& name);
    // A normalised value in 0..1, NaN as 0.
    static double Unit(double normalized);
};

class KvRangeHostParameter : public KvHostParameter
{
public:
    // stepCount 0 is continuous; otherwise plain values are min + 0..stepCount.
    KvRangeHostParameter(const Steinberg::Vst::ParameterInfo& info, double minimum, double maximum,
                         int precision);

    void toString(Steinberg::Vst::ParamValue normalized, Steinberg::Vst::String128 text) const SMTG_OVERRIDE;
    bool fromString(const Steinberg::Vst::TChar* text, Steinberg::Vst::ParamValue& normalized) const SMTG_OVERRIDE;
    Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue normalized) const SMTG_OVERRIDE;
    Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plain) const SMTG_OVERRIDE;

    double Minimum() const { return minimum_; }
    double Maximum() const { return maximum_; }

private:
    double minimum_;
    double maximum_;
};

class KvListHostParameter : public KvHostParameter
{
public:
    // The step count is the number of names less one.
    KvListHostParameter(const Steinberg::Vst::ParameterInfo& info, std::vector<std::u16string> names);

    // The plain value is the position of a name, 0 .. count - 1.
    void toString(Steinberg::Vst::ParamValue normalized, Steinberg::Vst::String128 text) const SMTG_OVERRIDE;
    bool fromString(const Steinberg::Vst::TChar* text, Steinberg::Vst::ParamValue& normalized) const SMTG_OVERRIDE;
    Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue normalized) const SMTG_OVERRIDE;
    Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plain) const SMTG_OVERRIDE;

    int Count() const { return static_cast<int>(names_.size()); }

private:
    std::vector<std::u16string> names_;
};
#pragma GCC diagnostic pop
