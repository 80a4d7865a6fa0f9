#pragma once
// "VoltsToFloat": measures a voltage with meter ballistics (VU, PPM, peak,
// headroom, DC, RMS, clip detection) and reports the reading as a float a few
// times a second. Once the input stops streaming and a report finds the
// reading unchanged, the timer stops and the module sleeps.

#include <cstdint>

#include "engine/graph/ug_base.h"

class ug_volts_to_float : public ug_base
{
public:
    enum Pins
    {
        PN_VOLTS_IN = 0,
        PN_RESPONSE = 1,
        PN_UPDATE_RATE = 2,
        PN_FLOAT_OUT = 3,
    };
    enum Response
    {
        R_DB_VU = 0,
        R_DB_PPM = 1,
        R_DB_PEAK = 2,
        R_DB_HEADROOM = 3,
        R_VOLTS_DC_FAST = 4,
        R_VOLTS_DC_AVERAGE = 5,
        R_VOLTS_RMS = 6,
        R_CLIP_DETECT = 7,
    };
    // Envelopes at or past this (or NaN) are taken as runaway and cleared.
    static constexpr float kRunaway = 1e6f;

    ug_volts_to_float();
    ~ug_volts_to_float() override = default;

    static ug_base* CreateObject() { return new ug_volts_to_float(); }
    ug_base* Create() override { return new ug_volts_to_float(); }
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    int Open() override;
    void assignPlugVariable(int pinId, UPlug* pin) override;

    // Samples between reports for an update rate in reports per second.
    static int32_t ReportPeriod(int updateRate, float sampleRate);
    // Float Out for a reading x under a response.
    static float Reading(int response, float x);
    // e^(-1 / (t * sampleRate)); 0 for an instant (t = 0).
    static float Coefficient(float seconds, float sampleRate);

    int32_t Period() const { return reportPeriod_; }
    float Envelope() const { return envelope_; }
    bool TimerRunning() const { return timerRunning_; }

    void Report();
    void process_rms(int start, int count);
    void process_peak(int start, int count);
    void process_dc(int start, int count);
    void process_clip(int start, int count);

private:
    void SetBallistics();
    void ScheduleReport(int64_t time);

    float lastSent_ = 0.0f;
    int16_t response_ = R_DB_PEAK;
    float* input_ptr_ = nullptr;
    float floatOut_ = 0.0f;
    bool idle_ = false;
    bool timerRunning_ = false;
    process_func_ptr detector_ = nullptr;
    int32_t reportPeriod_ = 1;
    float attack_ = 0.0f;
    float release_ = 0.0f;
    float envelope_ = 0.0f;
    int16_t updateRate_ = 10;
    float meanSquare_ = 0.0f;
    float meanSquareCoefficient_ = 0.0f;
};
