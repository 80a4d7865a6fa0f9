#pragma once
// A patch manager stand-in that logs what the automation modules send it,
// and a module that logs the MIDI messages reaching its input.

#include <cstring>
#include <string>
#include <vector>

#include "core/InterfaceObject.h"
#include "engine/parameters/IDspPatchManager.h"
#include "engine/graph/ug_base.h"

namespace kvtest
{

class LoggingManager : public IDspPatchManager
{
public:
    struct Sent
    {
        int64_t time;
        int code;
        float value; // float payloads; ints are converted
        int intValue;
    };
    struct Midi
    {
        int64_t time;
        std::vector<unsigned char> bytes;
        bool fromMidiCv;
    };

    void getPresetState(std::string& /*out*/) override {}
    void setPresetState(const std::string& /*text*/) override {}
    void setParameterNormalized(int64_t /*time*/, int /*parameterId*/, double /*value*/) override {}
    void OnUiMsg(int /*id*/, my_input_stream& /*stream*/) override {}
    void OnMidi(VoiceControlState* /*state*/, int64_t time, const unsigned char* bytes, int size,
                bool fromMidiCv) override
    {
        midi.push_back({time, std::vector<unsigned char>(bytes, bytes + size), fromMidiCv});
    }
    void SendInitialUpdates() override { ++initialUpdates; }
    void vst_Automation(ug_container* /*container*/, int64_t time, int code, float value) override
    {
        sent.push_back({time, code, value, 0});
    }
    void vst_Automation2(int64_t time, int code, const void* data, int size) override
    {
        Sent s{time, code, 0.0f, 0};
        if (size == 4)
        {
            std::memcpy(&s.value, data, 4);
            std::memcpy(&s.intValue, data, 4);
        }
        sent.push_back(s);
    }

    std::vector<const Sent*> WithCode(int code) const
    {
        std::vector<const Sent*> found;
        for (const auto& s : sent)
        {
            if (s.code == code)
                found.push_back(&s);
        }
        return found;
    }

    std::vector<Sent> sent;
    std::vector<Midi> midi;
    int initialUpdates = 0;
};

class MidiLogger : public ug_base
{
public:
    ug_base* Create() override { return new MidiLogger(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"", L"", 0));
    }
    void HandleEvent(KorvaneEvent* event) override
    {
        if (event->eventType != UET_EVENT_MIDI)
        {
            ug_base::HandleEvent(event);
            return;
        }
        const auto* data = static_cast<const unsigned char*>(event->Data());
        messages.emplace_back(data, data + event->arg2);
        times.push_back(event->sampleTime);
    }
    std::vector<std::vector<unsigned char>> messages;
    std::vector<int64_t> times;
};

} // namespace kvtest
