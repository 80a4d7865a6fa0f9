#pragma once
// "LED Indicator": watches an audio signal and lights a lamp in the editor
// when it rises above a threshold. In its bar-graph mode (the "Peak Meter"
// subclass) it reports a falling peak bar instead. Both measure per block and
// report a few times a second through their patchValue output.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_led : public ug_base
{
public:
    enum Pins
    {
        PN_SIGNAL = 0,
        PN_THRESHOLD = 1,
        PN_PATCH_VALUE = 5,
    };
    enum Mode : int16_t
    {
        MODE_LED = 0,
        MODE_PEAK_METER = 1,
    };
    enum Response : int16_t
    {
        RESPONSE_DECIBEL = 0,
        RESPONSE_LINEAR = 1,
    };
    static constexpr int kReportsPerSecond = 6;
    static constexpr float kLampOn = 100.0f;

    ug_led();
    static ug_base* CreateObject() { return new ug_led(); }
    ug_base* Create() override { return new ug_led(); }
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;

    // Bar position (1.0 = full scale) for a held peak.
    static float BarTarget(float peak, int response);

    void process_led(int start, int count);
    void process_peak_watch(int start, int count);
    void ReportLed();
    void ReportBarGraph();

    float LastShown() const { return lastShown_; }
    float Value() const { return value_; }
    bool TimerRunning() const { return timerRunning_; }

protected:
    float lastShown_ = 0.0f;
    int16_t mode_ = MODE_LED;
    int16_t response_ = RESPONSE_DECIBEL;
    float* input_ptr_ = nullptr;
    float value_ = 0.0f;
    bool idle_ = false;
    bool timerRunning_ = false;
    float level_ = 0.0f;
    int32_t reportPeriod_ = 1;
    float* threshold_ptr_ = nullptr;
    // The bar has not been sent since Open: the first report always sends.
    bool barSent_ = false;

private:
    void SelectDetector();
    void ScheduleReport(int64_t time);
    void SendValue(float value);
    bool SignalStreaming() const { return plugs_[PN_SIGNAL]->state_ == ST_STREAMING; }
};
