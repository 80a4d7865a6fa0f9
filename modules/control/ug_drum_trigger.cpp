#include "modules/control/ug_drum_trigger.h"

#include <algorithm>
#include <cmath>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "core/numeric_helpers.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/events/KorvaneEvent.h"
#include "engine/graph/ug_container.h"

namespace
{
constexpr unsigned char kNoteOff = 0x80;
constexpr unsigned char kNoteOn = 0x90;
constexpr short kOpenHiHatKey = 46;
constexpr short kPedalHiHatKey = 44;
constexpr short kClosedHiHatKey = 42;
constexpr float kTriggerHigh = 1.0f;
// Decay voltages are held within ±10 V, whatever the inputs carry.
constexpr float kMaxDecay = 1.0f;

// The translated note each drum answers to, in record order.
constexpr int kDrumNotes[ug_drum_trigger::kDrumCount] = {35, 38, 42, 56, 45, 47, 50, 39, 49, 54, 51, 0, 1, 2, 3};

const wchar_t* const kDrumNames[ug_drum_trigger::kDrumCount] = {
    L"Kick Trig", L"Snare Trig", L"Hi Hat Trig", L"Cow Bell Trig", L"Tom1 Trig",
    L"Tom2 Trig", L"Tom3 Trig",  L"Clap Trig",   L"Crash Trig",    L"Tamb Trig",
    L"Ride Trig", L"User1 Trig", L"User2 Trig",  L"User3 Trig",    L"User4 Trig"};

float BoundedDecay(float value)
{
    if (std::isnan(value))
        return 0.0f;
    return std::clamp(value, -kMaxDecay, kMaxDecay);
}
} // namespace

void ug_drum_trigger::drum_output::Set(int note, UPlug* trigger, UPlug* velocity, int blockSize)
{
    note_ = note;
    triggerPin_ = trigger;
    velocity_.plug_ = velocity;
    // The first run writes 0 at once and announces it static.
    velocity_.isStatic_ = false;
    velocity_.target_ = 0.0f;
    velocity_.remaining_ = -1;
    runOut_ = blockSize;
}

ug_drum_trigger::ug_drum_trigger()
{
    flags_ &= ~static_cast<uint32_t>(UGF_POLYPHONIC | UGF_THIRD_SOURCE);
    flags_ |= UGF_THIRD_SOURCE;
    noteTable_.fill(-1);
    SetProcessFunction(&ug_drum_trigger::sub_process);
}

int ug_drum_trigger::TriggerPinOf(int drum)
{
    // Groups of two from pin 5; the hi-hat group also holds the decay; the
    // note-number inputs 32-35 sit between user drums 2 and 3.
    if (drum < 2)
        return PN_KICK_TRIG + 2 * drum;
    if (drum == 2)
        return PN_HIHAT_TRIG;
    if (drum < 13)
        return PN_HIHAT_DECAY + 1 + 2 * (drum - 3);
    return PN_USER3_TRIG + 2 * (drum - 13);
}

void ug_drum_trigger::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"", L"", 0));
    pins.push_back(new InterfaceObject(&channel_, L"Channel", DR_IN, DT_ENUM, L"-1",
                                       L"All=-1,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16",
                                       IO_POLYPHONIC_ACTIVE | IO_IGNORE_PATCH_CHANGE, L"MIDI Channel"));
    pins.push_back(new InterfaceObject(nullptr, L"Open HH Decay", DR_IN, DT_FSAMPLE, L"5", L"", IO_POLYPHONIC_ACTIVE,
                                       L"Three different MIDI notes can trigger a hi-hat, but each one will vary the "
                                       L"'Hi Hat Decay' output, which you can connect to an envelope module",
                                       &buffers_[PN_OPEN_HH_DECAY]));
    pins.push_back(new InterfaceObject(nullptr, L"Pedal HH Decay", DR_IN, DT_FSAMPLE, L"3.5", L"",
                                       IO_POLYPHONIC_ACTIVE, L"", &buffers_[PN_PEDAL_HH_DECAY]));
    pins.push_back(new InterfaceObject(nullptr, L"Close HH Decay", DR_IN, DT_FSAMPLE, L"2.5", L"",
                                       IO_POLYPHONIC_ACTIVE, L"", &buffers_[PN_CLOSE_HH_DECAY]));

    const wchar_t* const noteNames[kUserNoteCount] = {L"User1 Note #", L"User2 Note #", L"User3 Note #",
                                                      L"User4 Note #"};
    const wchar_t* const noteDefaults[kUserNoteCount] = {L"62", L"64", L"70", L"37"};
    const wchar_t* const noteHelp = L"Set this to the MIDI note number of the percussion you want to use";
    auto addDrum = [&](int drum) {
        const int pin = TriggerPinOf(drum);
        pins.push_back(new InterfaceObject(nullptr, kDrumNames[drum], DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"",
                                           &buffers_[static_cast<size_t>(pin)]));
        pins.push_back(new InterfaceObject(nullptr, L"Vel", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"",
                                           &buffers_[static_cast<size_t>(pin + 1)]));
        if (drum == 2)
            pins.push_back(new InterfaceObject(nullptr, L"Hi Hat Decay", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"",
                                               &buffers_[PN_HIHAT_DECAY]));
    };
    for (int drum = 0; drum < 13; ++drum)
        addDrum(drum);
    for (int n = 0; n < kUserNoteCount; ++n)
    {
        pins.push_back(new InterfaceObject(&userNotes_[static_cast<size_t>(n)], noteNames[n], DR_IN, DT_ENUM,
                                           noteDefaults[n], L"range 0,127", IO_MINIMISED,
                                           n == 0 || n == 2 ? noteHelp : L""));
    }
    for (int drum = 13; drum < kDrumCount; ++drum)
        addDrum(drum);
}

int ug_drum_trigger::BlockSize() const
{
    return audioMaster_ ? audioMaster_->BlockSize() : 0;
}

int ug_drum_trigger::Open()
{
    const int result = ug_notesource::Open();
    if (result != 0)
        return result;
    const int blockSize = BlockSize();
    noteTable_.fill(-1);
    for (int drum = 0; drum < kDrumCount; ++drum)
    {
        const int pin = TriggerPinOf(drum);
        drum_output& d = drums_[static_cast<size_t>(drum)];
        d.Set(kDrumNotes[drum], plugs_[static_cast<size_t>(pin)], plugs_[static_cast<size_t>(pin + 1)], blockSize);
        d.triggerBlock_ = buffers_[static_cast<size_t>(pin)];
        d.velocity_.buffer_ = buffers_[static_cast<size_t>(pin + 1)];
        // Only a drum with a voice (one that feeds something) plays.
        if (d.voice_ > 0)
            noteTable_[static_cast<size_t>(d.note_)] = drum;
        d.triggerPin_->TransmitState(sampleClock_, ST_STATIC);
        d.velocity_.plug_->TransmitState(sampleClock_, ST_STATIC);
    }
    hiHatBlock_ = buffers_[PN_HIHAT_DECAY];
    hiHatRunOut_ = blockSize;
    minimumTriggerLength_ = msToSamples(kMinimumTriggerMs, static_cast<int>(SampleRate()));
    plugs_[PN_HIHAT_DECAY]->TransmitState(sampleClock_, ST_STATIC);
    SetProcessFunction(&ug_drum_trigger::sub_process);
    return 0;
}

void ug_drum_trigger::Resume(int64_t time)
{
    ug_notesource::Resume(time);
    const int blockSize = BlockSize();
    for (drum_output& d : drums_)
    {
        if (d.runOut_ > 0)
            d.runOut_ = blockSize;
    }
}

int ug_drum_trigger::TranslateNote(short key) const
{
    for (int n = 0; n < kUserNoteCount; ++n)
    {
        if (key == userNotes_[static_cast<size_t>(n)])
            return n;
    }
    int note = key;
    switch (key)
    {
    case 36: note = 35; break;
    case 40: note = 38; break;
    case 41:
    case 43: note = 45; break;
    case 44:
    case 46: note = 42; break;
    case 48: note = 47; break;
    case 57: note = 49; break;
    default: break;
    }
    return note >= 0 && note < kNoteTableSize ? note : -1;
}

void ug_drum_trigger::HandleEvent(KorvaneEvent* event)
{
    if (event->eventType == kTriggerEvent)
    {
        RaiseOrDrop(event->arg1, event->arg2 != 0);
        return;
    }
    if (event->eventType != UET_EVENT_MIDI)
    {
        ug_notesource::HandleEvent(event);
        return;
    }
    // Short messages only, on the MIDI input, of the chosen channel.
    const int size = event->arg2;
    if (event->arg1 != PN_MIDI_IN || size < 1 || size > 4)
        return;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&event->arg3);
    if (bytes[0] < 0xF0 && channel_ != -1 && (bytes[0] & 0x0F) != channel_)
        return;
    OnMidiData(size, bytes);
}

void ug_drum_trigger::OnMidiData(int size, const unsigned char* bytes)
{
    if (size < 3)
        return;
    unsigned char status = bytes[0] & 0xF0;
    const short key = bytes[1] & 0x7F;
    const short velocity = bytes[2] & 0x7F;
    if (status == kNoteOn && velocity == 0)
        status = kNoteOff;
    if (status != kNoteOn && status != kNoteOff)
        return;
    const int note = TranslateNote(key);
    const int drum = note < 0 ? -1 : noteTable_[static_cast<size_t>(note)];
    if (drum < 0)
        return;

    if (status == kNoteOff)
    {
        // The voice is released, and the trigger falls.
        if (parentContainer_)
            parentContainer_->NoteOff(sampleClock_, note);
        NoteOff(static_cast<short>(note), 0);
        return;
    }
    const int voice = drums_[static_cast<size_t>(drum)].voice_;
    if (voice < 0)
        return;
    // Which hi-hat key was struck picks the decay; the raw key decides.
    int decayPin = -1;
    if (key == kOpenHiHatKey)
        decayPin = PN_OPEN_HH_DECAY;
    else if (key == kPedalHiHatKey)
        decayPin = PN_PEDAL_HH_DECAY;
    else if (key == kClosedHiHatKey)
        decayPin = PN_CLOSE_HH_DECAY;
    if (decayPin >= 0)
    {
        const float decay = BoundedDecay(plugs_[static_cast<size_t>(decayPin)]->getValue());
        if (decay != hiHatDecay_)
        {
            hiHatDecay_ = decay;
            hiHatRunOut_ = BlockSize();
            plugs_[PN_HIHAT_DECAY]->TransmitState(sampleClock_, ST_STATIC);
        }
    }
    // The drum's voice wakes first, so that its modules take the trigger.
    if (parentContainer_)
        parentContainer_->VoiceAllocationNoteOn(sampleClock_, note, voice);
    NoteOn(static_cast<short>(note), velocity, 0);
}

void ug_drum_trigger::PPPropogateVoiceNums()
{
    if (plugs_.size() <= PN_KICK_TRIG)
        return;
    int voice = 1;
    for (int drum = 0; drum < kDrumCount; ++drum)
    {
        drum_output& d = drums_[static_cast<size_t>(drum)];
        d.voice_ = -1;
        const int first = TriggerPinOf(drum);
        bool used = false;
        bool ownModule = false;
        for (int pin = first; pin < first + GroupSizeOf(drum) && pin < static_cast<int>(plugs_.size()); ++pin)
        {
            for (UPlug* to : plugs_[static_cast<size_t>(pin)]->connections_)
            {
                used = true;
                ug_base* module = to->owner_;
                if (module->parentContainer_ == parentContainer_)
                    module->PPPropogateVoiceNum(voice);
                if ((module->flags_ & UGF_POLYPHONIC_AGGREGATOR) == 0)
                    ownModule = true;
            }
        }
        if (!used)
            continue;
        d.voice_ = voice;
        // A drum that only feeds summing modules gets a module of its own in
        // its voice, where one is registered.
        if (!ownModule && parentContainer_ && audioMaster_)
        {
            Module_Info* type = CModuleFactory::Instance()->GetById(L"Inverter");
            if (ug_base* inverter = type ? type->BuildSynthOb() : nullptr)
            {
                inverter->SetPolyphonic(true);
                parentContainer_->AddUG(inverter);
                inverter->SetupWithoutCug();
                connect(plugs_[static_cast<size_t>(first)], inverter->GetPlug(0));
                inverter->PPPropogateVoiceNum(voice);
            }
        }
        ++voice;
    }
}

void ug_drum_trigger::NoteOn(short note, short velocity, int /*unused*/)
{
    const int drum = DrumOfNote(note);
    if (drum < 0)
        return;
    drum_output& d = drums_[static_cast<size_t>(drum)];
    SetProcessFunction(&ug_drum_trigger::sub_process);
    // A trigger already high drops at once so that the new note is seen.
    d.triggerLevel_ = 0.0f;
    d.triggerPin_->TransmitState(sampleClock_, ST_STATIC);
    const float level = static_cast<float>(std::clamp<short>(velocity, 0, 127)) / 127.0f;
    d.velocity_.Set(sampleClock_, level, kVelocityGlide);
    d.runOut_ = BlockSize();
    d.onTime_ = sampleClock_;
    PostEvent(sampleClock_ + kTriggerDelay, kTriggerEvent, drum, 1);
}

void ug_drum_trigger::NoteOff(short note, short /*unused*/)
{
    const int drum = DrumOfNote(note);
    if (drum < 0)
        return;
    const drum_output& d = drums_[static_cast<size_t>(drum)];
    const int64_t fall = std::max(sampleClock_ + kTriggerDelay, d.onTime_ + minimumTriggerLength_);
    PostEvent(fall, kTriggerEvent, drum, 0);
}

void ug_drum_trigger::RaiseOrDrop(int drum, bool rise)
{
    if (drum < 0 || drum >= kDrumCount)
        return;
    drum_output& d = drums_[static_cast<size_t>(drum)];
    SetProcessFunction(&ug_drum_trigger::sub_process);
    // A fall meant for an earlier note: a newer note-on has moved the on time.
    if (!rise && sampleClock_ < d.onTime_ + minimumTriggerLength_)
        return;
    d.triggerLevel_ = rise ? kTriggerHigh : 0.0f;
    d.runOut_ = BlockSize();
    d.triggerPin_->TransmitState(sampleClock_, ST_STATIC);
}

void ug_drum_trigger::sub_process(int start, int count)
{
    bool active = false;
    const int blockSize = BlockSize();
    for (int drum = kDrumCount - 1; drum >= 0; --drum)
    {
        drum_output& d = drums_[static_cast<size_t>(drum)];
        if (d.runOut_ <= 0)
            continue;
        active = true;
        smart_output& vel = d.velocity_;
        if (!vel.isStatic_)
        {
            if (!vel.process(start, count))
            {
                vel.isStatic_ = true;
                d.runOut_ = blockSize;
            }
        }
        else
        {
            std::fill(vel.buffer_ + start, vel.buffer_ + start + count, vel.value_);
            d.runOut_ -= count;
        }
        std::fill(d.triggerBlock_ + start, d.triggerBlock_ + start + count, d.triggerLevel_);
    }
    if (hiHatRunOut_ > 0)
    {
        std::fill(hiHatBlock_ + start, hiHatBlock_ + start + count, hiHatDecay_);
        hiHatRunOut_ -= count;
    }
    else if (!active)
    {
        SetProcessFunction(&ug_base::process_sleep);
    }
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Drum Trigger", 414, 32829, nullptr, &UnitClassOf<ug_drum_trigger>::value, 352));
}
