#pragma once
// "Volt Meter": shows a smoothed DC average, or a running mean of squares,
// of a signal in the editor, reporting two or five times a second through
// its patchValue output and falling asleep once its input has come to rest.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_volt_meter : public ug_base
{
public:
    enum Pins
    {
        PN_SIGNAL = 0,
        PN_MODE = 1,
        PN_UPDATE_RATE = 2,
        PN_PATCH_VALUE = 5,
    };
    enum Mode : int16_t
    {
        MODE_DC = 0,
        MODE_AC_RMS = 1,
    };
    static constexpr int16_t kDefaultRate = 2;
    static constexpr int16_t kMaxRate = 100;
    // The AC mean runs over about this many samples.
    static constexpr int kAcWindow = 1000;

    ug_volt_meter();
    static ug_base* CreateObject() { return new ug_volt_meter(); }
    ug_base* Create() override { return new ug_volt_meter(); }
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;

    void process_dc(int start, int count);
    void process_ac(int start, int count);
    void Report();

    // Samples between reports at the present sample rate and update rate.
    int32_t ReportPeriod();
    float Reading() const { return reading_; }
    float LastShown() const { return lastShown_; }
    bool TimerRunning() const { return timerRunning_; }

private:
    void ChooseDetector();

    float lastShown_ = -1.0f;
    int16_t mode_ = MODE_DC;
    int16_t updateRate_ = kDefaultRate;
    bool idle_ = false;
    bool timerRunning_ = false;
    float reading_ = 0.0f;
    float value_ = 0.0f;
    process_func_ptr detector_;
    float* input_ptr_ = nullptr;
};
