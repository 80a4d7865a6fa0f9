#pragma once
// Stereo panner ("Pan"): places a mono input between two outputs by a pan
// voltage and scales it by a volume voltage read through the VCA's "db Curve".
// Three fade laws: linear, quarter sine and square root, the last two read from
// shared 514-entry tables. The cross fade derives from this class and reuses
// its fields, tables and fixed-gain arithmetic.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ULookup;

class ug_pan : public ug_base
{
public:
    enum Pins
    {
        PN_INPUT = 0,
        PN_PAN = 1,
        PN_LEFT_OUT = 2,
        PN_RIGHT_OUT = 3,
        PN_VOLUME = 4,
        PN_FADE_LAW = 5,
    };
    enum FadeLaw
    {
        FL_EQUAL_INTENSITY = 0,
        FL_EQUAL_POWER = 1,
        FL_SQUARE_ROOT = 2,
    };
    static constexpr int kFadeTableSize = 514;
    static constexpr float kFadeTableScale = 512.0f;

    ug_pan() = default;
    ~ug_pan() override = default;

    ug_base* Create() override { return new ug_pan(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    bool PPGetActiveFlag() override;

    // Attaches both shared fade tables and fills any that is still empty.
    static void InitFadeTables(ug_base* owner, ULookup*& sineTable, ULookup*& sqrtTable);
    // Entry i of each fade table.
    static float SineTableEntry(int i);
    static float SqrtTableEntry(int i);

    void SetLookupTable();
    // Fixed gains for a constant pan, without volume.
    void CalcFixedMultipliers(float pan);

    // Table position 0 ... 1 for a pan value: 0.5 - pan, clamped (NaN gives 0).
    static float PanPosition(float pan)
    {
        const float x = 0.5f - pan;
        return x > 0.0f ? (x < 1.0f ? x : 1.0f) : 0.0f;
    }
    // Interpolated read of a fade table at t = 0 ... 1 (t must be in range).
    static float ReadFade(const float* table, float t)
    {
        const float p = t * kFadeTableScale;
        const int i = static_cast<int>(p);
        return table[i] + (table[i + 1] - table[i]) * (p - static_cast<float>(i));
    }
    // Volume gain from the "db Curve" table; any float stays inside the table.
    static float ReadVolume(const float* table, float volume);

    float LeftGain() const { return leftGain_; }
    float RightGain() const { return rightGain_; }

    void sub_process_pan(int start, int count);
    void sub_process_pan_linear(int start, int count);
    void sub_process(int start, int count);
    void sub_process_static(int start, int count);

protected:
    // The table in use, never null once opened.
    const float* FadeCurve() const { return fadeCurve_; }

    int16_t fadeLaw_ = FL_EQUAL_POWER;
    const float* fadeCurve_ = nullptr;
    ULookup* sineTable_ = nullptr;
    ULookup* sqrtTable_ = nullptr;
    ULookup* volumeTable_ = nullptr;
    float leftGain_ = 0.0f;
    float rightGain_ = 0.0f;
    float* input_ptr_ = nullptr;
    float* pan_ptr_ = nullptr;
    float* left_ptr_ = nullptr;
    float* right_ptr_ = nullptr;
    float* volume_ptr_ = nullptr;

private:
    const float* VolumeCurve() const;
};
