#pragma once
// "Voltage To List": maps a 0 ... 10 V signal onto the items of a list, with
// a hysteresis window around the present item so a noisy voltage does not
// flicker between neighbours. The list comes from the module's own element of
// the patch document, not from a pin.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_voltage_to_enum : public ug_base
{
public:
    enum Pins
    {
        PN_SIGNAL_IN = 0,
        PN_LIST_OUT = 1,
    };
    // Items past this are ignored: a range list may name billions of values.
    static constexpr int kMaxItems = 32768;

    ug_voltage_to_enum() = default;
    ~ug_voltage_to_enum() override = default;

    static ug_base* CreateObject() { return new ug_voltage_to_enum(); }
    ug_base* Create() override { return new ug_voltage_to_enum(); }
    ug_base* Clone(CUGLookupList& lookup) override;
    void Setup(IKvAudioMaster* master, TiXmlElement* element) override;
    void onSetPin(int64_t time, UPlug* pin, state_type state) override;
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;

    const std::wstring& ListText() const { return listText_; }
    void SetListText(const std::wstring& text) { listText_ = text; }
    int ItemCount() const { return static_cast<int>(itemValues_.size()); }
    int16_t ListValue() const { return listValue_; }
    float LowerBound() const { return lowerBound_; }
    float UpperBound() const { return upperBound_; }

    void sub_process(int start, int count);

private:
    // Sends the item under x at `time` when x has left the present window.
    void Convert(float x, int64_t time);

    float* input_ptr_ = nullptr;
    float lowerBound_ = 1e8f;
    float upperBound_ = 1e8f;
    int16_t listValue_ = -32768;
    std::vector<int16_t> itemValues_;
    std::wstring listText_;
};
