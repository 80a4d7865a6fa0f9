#pragma once
// "KeyBoard": key-down and key-up notifications from the module's panel become
// note on and note off messages, queued and sent in order at the next process
// call. The queue is a fixed ring, so notifications never allocate.

#include <array>
#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_midi_keyboard : public ug_base
{
public:
    enum Pins { PN_CHANNEL = 0, PN_MIDI_OUT };
    enum Notify { NOTIFY_KEY_DOWN = 3, NOTIFY_KEY_UP = 4 };
    // Messages that may wait for one process call; more are dropped.
    static constexpr int kQueueCapacity = 256;

    ug_midi_keyboard();
    ~ug_midi_keyboard() override = default;

    ug_base* Create() override { return new ug_midi_keyboard(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    void OnUiNotify(int code, int key) override;

    void OnNoteOn(int key) { OnUiNotify(NOTIFY_KEY_DOWN, key); }
    void OnNoteOff(int key) { OnUiNotify(NOTIFY_KEY_UP, key); }
    // Queues a packed message: status in bits 0-7, key in 8-15, velocity in 16-23.
    void OnMidiData(unsigned message, long long time);

    void sub_process(int start, int count);

    int PendingCount() const { return count_; }

private:
    std::array<uint32_t, kQueueCapacity> pending_{};
    int head_ = 0;
    int count_ = 0;
    int16_t channel_ = 0;
};
