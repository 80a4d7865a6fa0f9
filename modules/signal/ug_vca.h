#pragma once
// Voltage-controlled amplifier ("VCA"): multiplies a signal by a gain taken
// from a volume voltage through one of four response curves. The curves are
// shared tables of 1202 floats indexed by volume x 400, also read by the panner.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ULookup;

// The "db Curve" law for one volume (1.0 = 10 V).
float calcDecibelGainCurve(float x);

class ug_vca : public ug_base
{
public:
    enum Pins
    {
        PN_SIGNAL = 0,
        PN_VOLUME = 1,
        PN_OUTPUT = 2,
        PN_RESPONSE_CURVE = 3,
    };
    enum ResponseCurve
    {
        RC_DECIBEL_OLD = 0,
        RC_EXPONENTIAL = 1,
        RC_LINEAR = 2,
        RC_DECIBEL = 3,
    };
    static constexpr int kTableSize = 1202;
    static constexpr float kTableScale = 400.0f;
    // The linear curve has no upper limit of its own; this keeps it finite.
    static constexpr float kMaxLinearGain = 1000.0f;

    ug_vca();
    ~ug_vca() override = default;

    ug_base* Create() override { return new ug_vca(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    bool PPGetActiveFlag() override;

    // Shared curve tables, made and filled on first use; null when they cannot be made.
    static void InitVolTable(ug_base* owner, ULookup*& table);
    static void InitVolTable_old(ug_base* owner, ULookup*& table);
    static void InitExpTable(ug_base* owner, ULookup*& table);

    // Entry i of each table (volume i / 400).
    static float ExpTableEntry(int i);
    static float DecibelTableEntry(int i);
    static float OldDecibelTableEntry(int i);

    // Gain for a constant volume, from the formula of the current curve.
    float CalcGain(float volume) const;
    void OnCurveChange();
    float Gain() const { return gain_; }

    void process_both_run(int start, int count);
    void process_both_run_linear(int start, int count);
    void process_vol_fixed(int start, int count);
    void process_both_stop(int start, int count);

private:
    int16_t Curve() const;

    float gain_ = 0.0f;
    int16_t responseCurve_ = RC_EXPONENTIAL;
    ULookup* expTable_ = nullptr;
    ULookup* oldDecibelTable_ = nullptr;
    ULookup* decibelTable_ = nullptr;
    const float* curveTable_ = nullptr;
    float* signal_ptr_ = nullptr;
    float* volume_ptr_ = nullptr;
    float* output_ptr_ = nullptr;
    float lastStaticOutput_ = 100000.0f;
};
