#include "modules/signal/ug_pan.h"

#include <algorithm>
#include <cmath>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/runtime/LookupTable.h"
#include "modules/signal/ug_vca.h"

namespace
{
constexpr float kVolumeScale = ug_vca::kTableScale;
constexpr int kLastVolumeEntry = ug_vca::kTableSize - 2;
constexpr float kQuarterTurn = 1.5707964f;
constexpr float kStep = 0.001953125f; // 1 / 512

// Stand in for tables that could not be made: silence rather than a crash.
const float kSilentFade[ug_pan::kFadeTableSize] = {};
const float kSilentVolume[ug_vca::kTableSize] = {};

void AttachFadeTable(ug_base* owner, ULookup*& table, const wchar_t* name, float (*entry)(int))
{
    owner->CreateSharedLookup2(name, table, -1, ug_pan::kFadeTableSize, true, SLS_GLOBAL);
    if (table && table->GetSize() < ug_pan::kFadeTableSize)
        table = nullptr;
    if (!table)
        return;
    ULookup* t = table;
    t->FillOnce([t, entry] {
        for (int i = 0; i < ug_pan::kFadeTableSize; ++i)
            t->SetValue(i, entry(i));
    });
}
} // namespace

void ug_pan::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Input", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT,
                                       L"Audio signal input", &input_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Pan", DR_IN, DT_FSAMPLE, L"0", L"5,-5,5,-5", IO_POLYPHONIC_ACTIVE,
                                       L"-5V = Left, +5V = Right", &pan_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Left Out", DR_OUT, DT_FSAMPLE, L"5", L"", 0, L"", &left_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Right Out", DR_OUT, DT_FSAMPLE, L"5", L"", 0, L"", &right_ptr_));
    pins.push_back(new InterfaceObject(
        nullptr, L"Volume", DR_IN, DT_FSAMPLE, L"8", L"", IO_POLYPHONIC_ACTIVE,
        L"Controls the Volume of the input signal. 10 V = original volume, 0 V = silence", &volume_ptr_));
    pins.push_back(new InterfaceObject(&fadeLaw_, L"Fade Law", DR_IN, DT_ENUM, L"1",
                                       L"Equal Intensity (0dB), Equal Power(+3dB), Sqr Root", IO_MINIMISED,
                                       L"Chooses different cross fade laws"));
}

float ug_pan::SineTableEntry(int i)
{
    return i <= 0 ? 0.0f : std::sin(static_cast<float>(i) * kQuarterTurn * kStep);
}

float ug_pan::SqrtTableEntry(int i)
{
    return i <= 0 ? 0.0f : std::sqrt(static_cast<float>(i) * kStep);
}

void ug_pan::InitFadeTables(ug_base* owner, ULookup*& sineTable, ULookup*& sqrtTable)
{
    AttachFadeTable(owner, sqrtTable, L"Equal Power Curve", &SqrtTableEntry);
    AttachFadeTable(owner, sineTable, L"Sin Equal Power Curve", &SineTableEntry);
}

void ug_pan::SetLookupTable()
{
    const ULookup* table = fadeLaw_ == FL_EQUAL_POWER ? sineTable_ : sqrtTable_;
    fadeCurve_ = table ? table->GetBlock() : kSilentFade;
}

const float* ug_pan::VolumeCurve() const
{
    return volumeTable_ ? volumeTable_->GetBlock() : kSilentVolume;
}

float ug_pan::ReadVolume(const float* table, float volume)
{
    const float idx = volume * kVolumeScale;
    // Compared as floats first: NaN and negative volumes read entry 0, huge
    // ones the last entry.
    if (!(idx >= 0.0f))
        return table[0];
    if (idx < static_cast<float>(kLastVolumeEntry))
    {
        const int i = static_cast<int>(idx);
        return table[i] + (table[i + 1] - table[i]) * (idx - static_cast<float>(i));
    }
    return table[kLastVolumeEntry];
}

void ug_pan::CalcFixedMultipliers(float pan)
{
    const float x = PanPosition(pan);
    if (fadeLaw_ == FL_EQUAL_INTENSITY)
    {
        leftGain_ = x;
        rightGain_ = 1.0f - x;
        return;
    }
    const float* curve = fadeCurve_ ? fadeCurve_ : kSilentFade;
    leftGain_ = ReadFade(curve, x);
    rightGain_ = ReadFade(curve, 1.0f - x);
}

int ug_pan::Open()
{
    InitFadeTables(this, sineTable_, sqrtTable_);
    ug_vca::InitVolTable(this, volumeTable_);
    SetLookupTable();
    return ug_base::Open();
}

bool ug_pan::PPGetActiveFlag()
{
    auto marked = [this](size_t i) { return i < plugs_.size() && (plugs_[i]->plugFlags_ & PF_PP_DOWNSTREAM) != 0; };
    return marked(0) && (marked(1) || marked(4));
}

void ug_pan::onSetPin(int64_t time, UPlug* pin, state_type state)
{
    UPlug* input = plugs_[PN_INPUT];
    UPlug* pan = plugs_[PN_PAN];
    UPlug* volume = plugs_[PN_VOLUME];
    UPlug* left = plugs_[PN_LEFT_OUT];
    UPlug* right = plugs_[PN_RIGHT_OUT];

    const int index = pin->index_;
    if (index == PN_FADE_LAW)
        SetLookupTable();
    if ((index == PN_VOLUME || index == PN_PAN || index == PN_FADE_LAW) && state < ST_STREAMING)
    {
        CalcFixedMultipliers(pan->getValue());
        const float g = ReadVolume(VolumeCurve(), volume->getValue());
        leftGain_ *= g;
        rightGain_ *= g;
    }

    const bool inputStreaming = input->state_ == ST_STREAMING;
    const bool volumeStreaming = volume->state_ == ST_STREAMING;
    int s = std::max({input->state_, pan->state_, volume->state_});
    if (!inputStreaming && input->getValue() == 0.0f)
        s = ST_STATIC;
    if (!volumeStreaming && volume->getValue() == 0.0f)
        s = ST_STATIC;

    int leftState = s;
    int rightState = s;
    if (pan->state_ == ST_STREAMING || volumeStreaming)
    {
        if (fadeLaw_ == FL_EQUAL_INTENSITY)
            SetProcessFunction(&ug_pan::sub_process_pan_linear);
        else
            SetProcessFunction(&ug_pan::sub_process_pan);
    }
    else if (inputStreaming)
    {
        SetProcessFunction(&ug_pan::sub_process);
        if (leftGain_ == 0.0f)
            leftState = ST_STATIC;
        if (rightGain_ == 0.0f)
            rightState = ST_STATIC;
    }
    else
    {
        ResetStaticOutput();
        SetProcessFunction(&ug_pan::sub_process_static);
    }
    if (s < ST_STREAMING)
    {
        ResetStaticOutput();
        SetProcessFunction(&ug_pan::sub_process_static);
    }

    left->TransmitState(time, static_cast<state_type>(leftState));
    right->TransmitState(time, static_cast<state_type>(rightState));
}

void ug_pan::sub_process_pan(int start, int count)
{
    const float* in = input_ptr_ + start;
    const float* pan = pan_ptr_ + start;
    const float* vol = volume_ptr_ + start;
    float* left = left_ptr_ + start;
    float* right = right_ptr_ + start;
    const float* curve = fadeCurve_;
    const float* volumeCurve = VolumeCurve();
    float l = leftGain_;
    float r = rightGain_;
    for (int i = 0; i < count; ++i)
    {
        const float g = ReadVolume(volumeCurve, vol[i]);
        const float x = PanPosition(pan[i]);
        l = ReadFade(curve, x) * g;
        r = ReadFade(curve, 1.0f - x) * g;
        left[i] = in[i] * l;
        right[i] = in[i] * r;
    }
    leftGain_ = l;
    rightGain_ = r;
}

void ug_pan::sub_process_pan_linear(int start, int count)
{
    const float* in = input_ptr_ + start;
    const float* pan = pan_ptr_ + start;
    const float* vol = volume_ptr_ + start;
    float* left = left_ptr_ + start;
    float* right = right_ptr_ + start;
    const float* volumeCurve = VolumeCurve();
    for (int i = 0; i < count; ++i)
    {
        const float g = ReadVolume(volumeCurve, vol[i]);
        const float x = PanPosition(pan[i]);
        const float scaled = in[i] * g;
        left[i] = x * scaled;
        right[i] = (1.0f - x) * scaled;
    }
}

void ug_pan::sub_process(int start, int count)
{
    const float* in = input_ptr_ + start;
    float* left = left_ptr_ + start;
    float* right = right_ptr_ + start;
    const float l = leftGain_;
    const float r = rightGain_;
    for (int i = 0; i < count; ++i)
    {
        left[i] = in[i] * l;
        right[i] = in[i] * r;
    }
}

void ug_pan::sub_process_static(int start, int count)
{
    sub_process(start, count);
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
        SetProcessFunction(&ug_base::process_sleep);
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Pan", 437, 303, nullptr, &UnitClassOf<ug_pan>::value, 256));
}
