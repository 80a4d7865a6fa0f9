#pragma once
// The controller's host parameters. Every conversion is our own and safe for
// any value a host may pass: normalised values are finite and inside 0..1
// (NaN and infinities are refused), texts never run past the host's String128,
// and reading a text accepts anything, failing on what is no value.
//
//   KvHostParameter       a plain value: the normalised value is the value
//   KvSwitchHostParameter an on/off value: off below 0.5, on from 0.5
//   KvRangeHostParameter  a plain range, continuous or in whole steps
//   KvListHostParameter   a list of names, one step each
//
// Plain values come from the host's normalised ones by the rules the engine
// plays them with (ValueRule), on and between the steps.

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

// Off and on as the engine plays them: the text is "Off" or "On", the plain
// value 0 or 1, on from 0.5. It declares one step, so hosts show a switch:
// their step 0 (below 0.5) is off, step 1 (from 0.5) on, as here.
class KvSwitchHostParameter : public KvHostParameter
{
public:
    explicit KvSwitchHostParameter(const Steinberg::Vst::ParameterInfo& info);

    void toString(Steinberg::Vst::ParamValue normalized, Steinberg::Vst::String128 text) const SMTG_OVERRIDE;
    // "On" and "Off", or a number read as a plain value (nonzero is on).
    bool fromString(const Steinberg::Vst::TChar* text, Steinberg::Vst::ParamValue& normalized) const SMTG_OVERRIDE;
    Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue normalized) const SMTG_OVERRIDE;
    Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plain) const SMTG_OVERRIDE;
};

class KvRangeHostParameter : public KvHostParameter
{
public:
    // Whole: plain values are the whole numbers from minimum to maximum (the
    // bounds are cut toward zero to whole numbers, as the engine's int
    // parameters hold them); otherwise continuous.
    KvRangeHostParameter(const Steinberg::Vst::ParameterInfo& info, double minimum, double maximum,
                         int precision, bool whole);

    void toString(Steinberg::Vst::ParamValue normalized, Steinberg::Vst::String128 text) const SMTG_OVERRIDE;
    bool fromString(const Steinberg::Vst::TChar* text, Steinberg::Vst::ParamValue& normalized) const SMTG_OVERRIDE;
    Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue normalized) const SMTG_OVERRIDE;
    Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plain) const SMTG_OVERRIDE;

    double Minimum() const { return minimum_; }
    double Maximum() const { return maximum_; }
    bool Whole() const { return whole_; }

private:
    double minimum_;
    double maximum_;
    bool whole_;
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
