#include "modules/control/ug_midi_to_cv.h"

#include <algorithm>
#include <cmath>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/graph/ug_container.h"

namespace
{
// Host controls arrive in volts; outputs are in tens of volts.
constexpr float kVoltsToSample = 0.1f;
// Pitches are held within ±20 V and levels within ±10 V, whatever arrives.
constexpr float kMaxPitch = 2.0f;
constexpr float kMaxLevel = 1.0f;
constexpr double kMinGlideSeconds = 1e-5;
constexpr double kMaxGlideSeconds = 1000.0;
constexpr float kConstantRateStep = 0.1f; // one volt per glide time
constexpr int kVelocitySmoothing = 60;
constexpr float kRetriggerOnRetune = 7.0f;
constexpr int16_t kMaxBendRange = 127;

float Bounded(float value, float limit)
{
    if (std::isnan(value))
        return 0.0f;
    return std::clamp(value, -limit, limit);
}
} // namespace

ug_midi_to_cv::ug_midi_to_cv()
{
    flags_ |= UGF_THIRD_SOURCE | UGF_CLONED;
    outputs_[OUT_GATE].curve_ = smart_output::CURVE_STEP;
    outputs_[OUT_VELOCITY].curve_ = smart_output::CURVE_CUBIC;
    outputs_[OUT_AFTERTOUCH].curve_ = smart_output::CURVE_LINEAR;
    SetProcessFunction(&ug_midi_to_cv::sub_process);
}

void ug_midi_to_cv::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    constexpr int kHostControl = IO_PAR_POLYPHONIC | IO_HOST_CONTROL | IO_PRIVATE;
    constexpr int kSharedHostControl = IO_HOST_CONTROL | IO_PRIVATE;
    ug_notesource::ListInterface2(pins);
    pins.push_back(new InterfaceObject(&bendRange_, L"Bend Range", DR_IN, DT_ENUM, L"2", L"range 0,12", 0,
                                       L"Maximum MIDI bender range in semitones"));
    pins.push_back(new InterfaceObject(nullptr, L"Gate", DR_OUT, DT_FSAMPLE, L"0", L"", 0,
                                       L"Use this to control an envelope (ADSR)", &outputBuffers_[OUT_GATE]));
    pins.push_back(new InterfaceObject(nullptr, L"Pitch", DR_OUT, DT_FSAMPLE, L"0", L"", 0,
                                       L"Use this to control an Oscillator or Filter Pitch", &pitchBuffer_));
    pins.push_back(new InterfaceObject(nullptr, L"Velocity", DR_OUT, DT_FSAMPLE, L"0", L"", 0,
                                       L"Provides MIDI velocity level (How fast you hit the key)",
                                       &outputBuffers_[OUT_VELOCITY]));
    pins.push_back(new InterfaceObject(nullptr, L"Aftertouch", DR_OUT, DT_FSAMPLE, L"0", L"", 0,
                                       L"Provides MIDI Aftertouch level", &outputBuffers_[OUT_AFTERTOUCH]));
    pins.push_back(new InterfaceObject(&monoMode_, L"Mono Mode", DR_IN, DT_ENUM, L"0", L"On=1,Off=0",
                                       IO_IGNORE_PATCH_CHANGE,
                                       L"Limit sound to one voice. Enables the Retrigger option"));
    pins.push_back(new InterfaceObject(&retrigger_, L"Retrigger", DR_IN, DT_ENUM, L"1", L"On=1,Off=0",
                                       IO_IGNORE_PATCH_CHANGE,
                                       L"Retrigger Envelopes when playing legato (you hit a note before releasing "
                                       L"previous). Used with Mono Mode."));
    pins.push_back(new InterfaceObject(nullptr, L"Portamento Time", DR_IN, DT_FSAMPLE, L"0", L"",
                                       IO_LINEAR_INPUT | IO_IGNORE_PATCH_CHANGE,
                                       L"Time for pitch to slide to a new note (When you play legato)"));
    pins.push_back(new InterfaceObject(&monoNotePriority_, L"Mono Note Priority", DR_IN, DT_ENUM, L"3",
                                       L"Off,Low,High,Last", IO_IGNORE_PATCH_CHANGE));
    pins.push_back(new InterfaceObject(nullptr, L"Polyphony", DR_IN, DT_INT, L"6", L"", IO_NO_AUTOMATION | IO_PRIVATE));
    pins.push_back(
        new InterfaceObject(nullptr, L"Polyphony Reserve", DR_IN, DT_INT, L"3", L"", IO_NO_AUTOMATION | IO_PRIVATE));
    pins.push_back(new InterfaceObject(&polyphonyMode_, L"Polyphony Mode", DR_IN, DT_ENUM, L"-1",
                                       L"Overriden =-1,Soft Steal, Hard Steal, Overlap", IO_NO_AUTOMATION));
    pins.push_back(new InterfaceObject(&voiceActive_, L"Voice/Active", DR_IN, DT_FLOAT, L"", L"", kHostControl));
    pins.push_back(new InterfaceObject(&portamentoRate_, L"Portamento Rate", DR_IN, DT_ENUM, L"0",
                                       L"Constant Time,Constant Rate", 0));
    pins.push_back(new InterfaceObject(&autoGlide_, L"Auto Glide", DR_IN, DT_ENUM, L"0", L"Off,On", 0));
    pins.push_back(new InterfaceObject(nullptr, L"MIDI Out", DR_OUT, DT_MIDI2, L"0", L"", IO_PRIVATE));
    pins.push_back(new InterfaceObject(&voiceGate_, L"Voice/Gate", DR_IN, DT_FLOAT, L"", L"", kHostControl));
    pins.push_back(new InterfaceObject(&voiceTrigger_, L"Voice/Trigger", DR_IN, DT_FLOAT, L"", L"", kHostControl));
    pins.push_back(
        new InterfaceObject(&voiceVelocity_, L"Voice/VelocityKeyOn", DR_IN, DT_FLOAT, L"", L"", kHostControl));
    pins.push_back(new InterfaceObject(&voicePitch_, L"Voice/Pitch", DR_IN, DT_FLOAT, L"", L"", kHostControl));
    pins.push_back(
        new InterfaceObject(&voiceAftertouch_, L"Voice/Aftertouch", DR_IN, DT_FLOAT, L"", L"", kHostControl));
    pins.push_back(
        new InterfaceObject(&virtualVoiceId_, L"Voice/VirtualVoiceId", DR_IN, DT_INT, L"", L"", kHostControl));
    pins.push_back(new InterfaceObject(&bender_, L"Bender", DR_IN, DT_FLOAT, L"", L"", kSharedHostControl));
    pins.push_back(new InterfaceObject(&portamentoEnable_, L"Voice/PortamentoEnable", DR_IN, DT_FLOAT, L"", L"",
                                       kHostControl));
    pins.push_back(new InterfaceObject(&holdPedal_, L"HoldPedal", DR_IN, DT_FLOAT, L"", L"", kSharedHostControl));
}

void ug_midi_to_cv::BuildHelperModule()
{
    // The companion that takes this module's MIDI and hands it to the patch manager.
    ug_container* container = parentContainer_;
    Module_Info* type = CModuleFactory::Instance()->GetById(L"KV MIDICVRedirect");
    if (!container || !type)
        return;
    ug_base* redirect = type->BuildSynthOb();
    if (!redirect)
        return;
    redirect->patchControlContainer_ = patchControlContainer_;
    container->AddUG(redirect);
    redirect->SetupWithoutCug();
    if (redirect->plugs_.size() < 3 || plugs_.size() <= PN_CHANNEL)
        return;
    connect(redirect->plugs_[2], plugs_[PN_MIDI_IN]);
    // Lines drawn to these two pins join the redirect's pins instead.
    plugs_[PN_MIDI_IN]->proxy_ = redirect->plugs_[0];
    plugs_[PN_CHANNEL]->proxy_ = redirect->plugs_[1];
}

void ug_midi_to_cv::Setup(IKvAudioMaster* master, TiXmlElement* element)
{
    ug_notesource::Setup(master, element);
    // A channel that the document gives this module is the redirect's to listen on.
    UPlug* channel = plugs_.size() > PN_CHANNEL ? plugs_[PN_CHANNEL] : nullptr;
    if (channel && channel->proxy_ && channel->hasDocumentDefault_ && !channel->proxy_->hasDocumentDefault_)
    {
        channel->proxy_->documentDefault_ = channel->documentDefault_;
        channel->proxy_->hasDocumentDefault_ = true;
    }
}

int ug_midi_to_cv::Open()
{
    const int result = ug_notesource::Open();
    if (result != 0)
        return result;
    if (IsCloneOfAnother())
        plugs_[PN_MIDI_IN]->DeleteConnectors();

    pitchPin_ = plugs_[PN_PITCH];
    AnnouncePitchState(sampleClock_, ST_STATIC);

    const int pins[OUT_COUNT] = {PN_GATE, PN_VELOCITY, PN_AFTERTOUCH};
    for (int i = 0; i < OUT_COUNT; ++i)
    {
        smart_output& out = outputs_[static_cast<size_t>(i)];
        out.plug_ = plugs_[static_cast<size_t>(pins[i])];
        out.buffer_ = outputBuffers_[static_cast<size_t>(i)];
        out.staticCountdown_ = audioMaster_->BlockSize();
        // The first run writes 0 and announces it static.
        out.isStatic_ = false;
        out.target_ = 0.0f;
        out.remaining_ = -1;
    }
    return 0;
}

void ug_midi_to_cv::Resume(int64_t time)
{
    ug_notesource::Resume(time);
    const int blockSize = audioMaster_ ? audioMaster_->BlockSize() : 0;
    for (smart_output& out : outputs_)
    {
        if (out.isStatic_ && out.staticCountdown_ > 0)
            out.staticCountdown_ = blockSize;
    }
    freshVoice_ = true;
}

void ug_midi_to_cv::onSetPin(int64_t time, UPlug* pin, state_type state)
{
    const int index = pin->index_;
    const bool itself = !IsCloneOfAnother();

    if (index == PN_VOICE_ACTIVE)
        freshVoice_ = true;
    if (index == PN_BEND_RANGE)
        UpdateBend(time);
    // The pin's first value (and any repeat of it) is no switch between mono
    // and polyphonic: releasing then would cut notes played in the first block.
    if (index == PN_MONO_MODE && itself && parentContainer_ && monoMode_ != lastMonoMode_)
    {
        if (lastMonoMode_ != kNoMonoModeYet)
            parentContainer_->NoteOff(time, -1);
        lastMonoMode_ = monoMode_;
    }
    if (index == PN_VOICE_TRIGGER && voiceGate_ > 0.0f)
    {
        NoteOn(time);
        pitchTaken_ = true;
    }
    if (index == PN_VOICE_PITCH)
    {
        // A pitch that comes with a trigger was already taken by the note-on.
        if (!pitchTaken_)
            Retune(Bounded(voicePitch_ * kVoltsToSample, kMaxPitch));
        pitchTaken_ = false;
    }
    // The hold pedal is the container's: a key released under it keeps its
    // "Voice/Gate" up until the pedal lifts, so the gate simply follows it.
    if (index == PN_VOICE_GATE && !(voiceGate_ > 0.0f))
        GateOff();
    if (index == PN_VOICE_AFTERTOUCH)
    {
        SetProcessFunction(&ug_midi_to_cv::sub_process);
        outputs_[OUT_AFTERTOUCH].Set(time, Bounded(voiceAftertouch_ * kVoltsToSample, kMaxLevel), 4);
    }
    if (index == PN_BENDER)
    {
        rawBend_ = Bounded(bender_, 1.0f);
        UpdateBend(time);
    }
    if (itself && (index == PN_POLYPHONY_MODE || index == PN_MONO_MODE || index == PN_MONO_NOTE_PRIORITY))
        updateVoiceAllocationMode();

    ug_notesource::onSetPin(time, pin, state);
}

void ug_midi_to_cv::NoteOn(int64_t time)
{
    SetProcessFunction(&ug_midi_to_cv::sub_process);
    const float range = static_cast<float>(std::clamp<int16_t>(bendRange_, 0, kMaxBendRange));
    bend_ = bendTarget_ = range * rawBend_ / 120.0f;
    bendIncrement_ = 0.0f;

    const int mode = getVoiceAllocationMode() & 0xFF;
    bool glideAllowed = mode >= VAM_MONO;
    if (glideAllowed && autoGlide_ != 0)
        glideAllowed = outputs_[OUT_GATE].value_ > 0.0f;

    // Polyphonic and retriggering notes restart the gate; legato keeps it high.
    if (mode < VAM_MONO || mode == VAM_MONO_RETRIGGER)
        outputs_[OUT_GATE].Set(time, 0.0f, 4);

    smart_output& velocity = outputs_[OUT_VELOCITY];
    const float v = Bounded(voiceVelocity_ * kVoltsToSample, kMaxLevel);
    const int smoothing =
        freshVoice_ ? 0 : static_cast<int>(std::fabs(v - velocity.value_) * kVelocitySmoothing + kVelocitySmoothing);
    velocity.Set(time, v, smoothing);

    freshVoice_ = false;
    gateRequested_ = true;
    RunDelayed<&ug_midi_to_cv::delay_gate_on>(time + kGateDelay);

    StartGlide(Bounded(voicePitch_ * kVoltsToSample, kMaxPitch), glideAllowed);
    AnnouncePitch(time);
    ResetStaticOutput();
}

double ug_midi_to_cv::GlideSeconds(float portamentoTime)
{
    const double t = static_cast<double>(portamentoTime);
    return std::exp2(((t * 10.0 - 2.0) * 12000.0 / 10.0 - 8000.0) / 1200.0);
}

void ug_midi_to_cv::StartGlide(float pitch, bool glideAllowed)
{
    glideTarget_ = pitch;
    const float time = plugs_[PN_PORTAMENTO_TIME]->getValue();
    if (glideAllowed && time != 0.0f && std::isfinite(time))
    {
        const double seconds = std::min(GlideSeconds(time), kMaxGlideSeconds);
        if (seconds >= kMinGlideSeconds)
        {
            float distance = pitch - glidePitch_;
            if (portamentoRate_ != 0)
                distance = pitch > glidePitch_ ? kConstantRateStep : -kConstantRateStep;
            const auto increment =
                static_cast<float>(static_cast<double>(distance) / (static_cast<double>(SampleRate()) * seconds));
            if (increment != 0.0f && std::isfinite(increment))
            {
                glideIncrement_ = increment;
                SetProcessFunction(&ug_midi_to_cv::sub_process);
                return;
            }
        }
    }
    glideIncrement_ = 0.0f;
    glidePitch_ = pitch;
}

void ug_midi_to_cv::Retune(float pitch)
{
    glideTarget_ = pitch;
    if (portamentoEnable_ >= 0.5f || !freshVoice_)
    {
        StartGlide(pitch, true);
        if (portamentoEnable_ > kRetriggerOnRetune && gateRequested_)
        {
            outputs_[OUT_GATE].Set(sampleClock_, 0.0f, 4);
            RunDelayed<&ug_midi_to_cv::delay_gate_on>(sampleClock_ + kGateDelay);
        }
        freshVoice_ = false;
    }
    else
    {
        glideIncrement_ = 0.0f;
        glidePitch_ = pitch;
    }
    ResetStaticOutput();
    AnnouncePitch(sampleClock_);
    SetProcessFunction(&ug_midi_to_cv::sub_process);
}

void ug_midi_to_cv::AnnouncePitch(int64_t time)
{
    const bool moving = glideIncrement_ != 0.0f || bendIncrement_ != 0.0f;
    AnnouncePitchState(time, moving ? ST_STREAMING : ST_STATIC);
}

void ug_midi_to_cv::AnnouncePitchState(int64_t time, state_type state)
{
    if (pitchPin_)
        pitchPin_->TransmitState(time, state);
}

void ug_midi_to_cv::UpdateBend(int64_t time)
{
    Wake();
    const float range = static_cast<float>(std::clamp<int16_t>(bendRange_, 0, kMaxBendRange));
    bendTarget_ = range * rawBend_ / 120.0f;
    const float before = bendIncrement_;
    // The bend reaches its target in a sixtieth of a second.
    bendIncrement_ = (bendTarget_ - bend_) / (SampleRate() / 60.0f);
    if (bendIncrement_ == 0.0f)
        bend_ = bendTarget_;
    if (before == 0.0f && bendIncrement_ != 0.0f)
    {
        SetProcessFunction(&ug_midi_to_cv::sub_process);
        ResetStaticOutput();
        AnnouncePitchState(time, ST_STREAMING);
    }
}

void ug_midi_to_cv::GateOff()
{
    SetProcessFunction(&ug_midi_to_cv::sub_process);
    RunDelayed<&ug_midi_to_cv::delay_gate_off>(sampleClock_ + kGateDelay);
    gateRequested_ = false;
}

void ug_midi_to_cv::delay_gate_on()
{
    outputs_[OUT_GATE].Set(sampleClock_, 1.0f, 4);
    lastGateOnTime_ = sampleClock_;
    SetProcessFunction(&ug_midi_to_cv::sub_process);
}

void ug_midi_to_cv::delay_gate_off()
{
    // The gate stays high for at least one sample.
    if (sampleClock_ != lastGateOnTime_)
        outputs_[OUT_GATE].Set(sampleClock_, 0.0f, 4);
    else
        RunDelayed<&ug_midi_to_cv::delay_gate_off>(sampleClock_ + 1);
    SetProcessFunction(&ug_midi_to_cv::sub_process);
}


namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Midi to CV", 409, 292, nullptr, &UnitClassOf<ug_midi_to_cv>::value, 352));
}
