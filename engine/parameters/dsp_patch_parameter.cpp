#include "engine/parameters/dsp_patch_parameter.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <type_traits>

#include "core/MyTypeTraits.h"
#include "core/PersistanceFactory.h"
#include "core/RawConversions.h"
#include "core/ValueRule.h"
#include "core/conversion.h"
#include "core/my_streams.h"
#include "core/InterfaceObject.h"
#include "core/parameter_description.h"
#include "engine/graph/UPlug.h"

namespace
{
// Values as stored: fixed-size types by their bytes, text as 32-bit
// characters, a blob as its bytes.
template <typename T>
void ToBytes(const T& value, std::string& bytes)
{
    bytes = ToRaw4<T>(value);
}

template <typename T>
T FromBytes(const void* data, int size)
{
    return RawToValue<T>(data, size);
}

// Normalised values cross to plain ones by the rules the controller uses
// for the host (ValueRule), so what plays is what the host shows.
template <typename T, class M>
struct Normaliser
{
    static float To(const T&, const M&) { return 0.0f; }
    static bool From(double, const M&, T&) { return false; }
};

template <>
struct Normaliser<float, MetaData_ranged<float>>
{
    static float To(const float& v, const MetaData_ranged<float>& m)
    {
        return static_cast<float>(ValueRule::RangeNormalized(v, m.getRangeMinimum(), m.getRangeMaximum()));
    }
    static bool From(double n, const MetaData_ranged<float>& m, float& v)
    {
        v = static_cast<float>(ValueRule::RangePlain(n, m.getRangeMinimum(), m.getRangeMaximum()));
        return true;
    }
};

// Whole steps, as hosts read a stepped parameter: n picks the step of
// floor(n (steps + 1)), on the steps and between them.
template <>
struct Normaliser<int, MetaData_ranged<int>>
{
    static float To(const int& v, const MetaData_ranged<int>& m)
    {
        return static_cast<float>(ValueRule::WholeNormalized(v, m.getRangeMinimum(), m.getRangeMaximum()));
    }
    static bool From(double n, const MetaData_ranged<int>& m, int& v)
    {
        v = static_cast<int>(ValueRule::WholePlain(n, m.getRangeMinimum(), m.getRangeMaximum()));
        return true;
    }
};

template <>
struct Normaliser<bool, MetaData_none>
{
    static float To(const bool& v, const MetaData_none&) { return v ? 1.0f : 0.0f; }
    static bool From(double n, const MetaData_none&, bool& v)
    {
        v = ValueRule::SwitchOn(n);
        return true;
    }
};

template <>
struct Normaliser<int, MetaData_enum>
{
    static float To(const int& v, const MetaData_enum& m) { return enum_to_normalised(m.getEnumList(), v); }
    static bool From(double n, const MetaData_enum& m, int& v)
    {
        v = normalised_to_enum(m.getEnumList(), n);
        return true;
    }
};
} // namespace

template <typename T, class M>
int dsp_patch_parameter<T, M>::DataTypeId()
{
    if constexpr (std::is_same_v<T, std::wstring>)
        return 20;
    else if constexpr (std::is_same_v<M, MetaData_enum>)
        return 21;
    else if constexpr (std::is_same_v<T, float>)
        return 22;
    else if constexpr (std::is_same_v<T, bool>)
        return 23;
    else if constexpr (std::is_same_v<T, int>)
        return 24;
    else
        return 28;
}

template <typename T, class M>
bool dsp_patch_parameter<T, M>::typeIsVariableSize() const
{
    return std::is_same_v<T, std::wstring> || std::is_same_v<T, MpBlob>;
}

template <typename T, class M>
int dsp_patch_parameter<T, M>::typeSize() const
{
    if constexpr (std::is_same_v<T, std::wstring> || std::is_same_v<T, MpBlob>)
        return 0;
    else
        return static_cast<int>(sizeof(T));
}

template <typename T, class M>
T dsp_patch_parameter<T, M>::GetValue(int key, int patch) const
{
    const PatchStorageBase* entry = Storage(key);
    if (!entry)
        return T{};
    return FromBytes<T>(entry->GetValue(patch), entry->GetValueSize(patch));
}

template <typename T, class M>
bool dsp_patch_parameter<T, M>::SetValue(const T& value, int key, int patch)
{
    std::string bytes;
    ToBytes(value, bytes);
    return SetValueRaw2(bytes.data(), static_cast<int>(bytes.size()), patch, key);
}

// Values from documents and saved states go through the rule the controller
// uses too: numbers must be whole and finite, enum values must be in the
// list, and a value the host sees through a host parameter (one with an
// index) is brought into that parameter's range. Values without one carry
// engine quantities (tempo, positions, module outputs) that the range does
// not bound. A refused text stores nothing.
template <typename T, class M>
bool dsp_patch_parameter<T, M>::ConformFromText(const std::string& text, T& value) const
{
    constexpr double kUnbounded = std::numeric_limits<double>::infinity();
    const bool ranged = getIndex() != -1;
    if constexpr (std::is_same_v<M, MetaData_ranged<float>>)
        return ValueRule::Float(text, ranged ? this->getRangeMinimum() : -kUnbounded,
                                ranged ? this->getRangeMaximum() : kUnbounded, value);
    else if constexpr (std::is_same_v<M, MetaData_ranged<int>>)
    {
        int32_t v = 0;
        if (!ValueRule::Int(text, ranged ? this->getRangeMinimum() : -kUnbounded,
                            ranged ? this->getRangeMaximum() : kUnbounded, v))
            return false;
        value = v;
        return true;
    }
    else if constexpr (std::is_same_v<M, MetaData_enum>)
    {
        int32_t v = 0;
        if (!ValueRule::Enum(text, this->getEnumList(), v))
            return false;
        value = v;
        return true;
    }
    else if constexpr (std::is_same_v<T, bool>)
        return ValueRule::Bool(text, value);
    else
    {
        MyTypeTraits<T>::parse(text.c_str(), value);
        return true;
    }
}

// The same rule for a raw value from the editor's messages.
template <typename T, class M>
bool dsp_patch_parameter<T, M>::ConformValue(void* data, int size) const
{
    if constexpr (std::is_same_v<T, std::wstring> || std::is_same_v<T, MpBlob>)
        return true;
    else
    {
        if (data == nullptr || size < static_cast<int>(sizeof(T)))
            return false;
        T value{};
        std::memcpy(&value, data, sizeof(T));
        const bool ranged = getIndex() != -1;
        if constexpr (std::is_same_v<M, MetaData_ranged<float>>)
        {
            if (!std::isfinite(value))
                return false;
            if (ranged)
                value = static_cast<float>(
                    ValueRule::Clamp(value, this->getRangeMinimum(), this->getRangeMaximum()));
        }
        else if constexpr (std::is_same_v<M, MetaData_ranged<int>>)
        {
            if (ranged)
                value = static_cast<int>(ValueRule::Clamp(value, this->getRangeMinimum(), this->getRangeMaximum()));
        }
        else if constexpr (std::is_same_v<M, MetaData_enum>)
        {
            if (!it_enum_list::IsValidValue(this->getEnumList(), value))
                return false;
        }
        else if constexpr (std::is_same_v<T, bool>)
        {
            value = *static_cast<const unsigned char*>(data) != 0;
        }
        std::memcpy(data, &value, sizeof(T));
        return true;
    }
}

template <typename T, class M>
void dsp_patch_parameter<T, M>::SetValueFromXml(const std::string& text, int key, int patch)
{
    T value{};
    if (ConformFromText(text, value))
        SetValue(value, key, patch);
}

template <typename T, class M>
std::string dsp_patch_parameter<T, M>::GetValueAsXml(int patch, int key)
{
    const PatchStorageBase* entry = Storage(key);
    if (!entry)
        return ValueAsXml(nullptr, 0);
    return ValueAsXml(entry->GetValue(patch), entry->GetValueSize(patch));
}

template <typename T, class M>
std::string dsp_patch_parameter<T, M>::ValueAsXml(const void* data, int size) const
{
    const T value = FromBytes<T>(data, size);
    // Floats with as few digits as read back to the same bits, so a saved
    // state returns exactly what the user had.
    if constexpr (std::is_same_v<T, float>)
        return FloatToExactUtf8(value);
    else
        return MyTypeTraits<T>::toXML(value);
}

// The range and the enum list may change on the audio thread, so they are
// not read here: the value is parsed as the unbounded rule has it, and
// ConformValue brings it into range (or refuses it) where it is applied,
// which gives what ConformFromText gives. A number may have its decimal
// comma from an earlier build.
template <typename T, class M>
bool dsp_patch_parameter<T, M>::PrepareValueFromXml(const std::string& saved, std::vector<uint8_t>& bytes) const
{
    constexpr double kUnbounded = std::numeric_limits<double>::infinity();
    constexpr bool kNumber = !std::is_same_v<T, std::wstring> && !std::is_same_v<T, MpBlob>;
    const std::string text = kNumber ? ValueRule::SavedNumberText(saved) : saved;
    T value{};
    if constexpr (std::is_same_v<M, MetaData_ranged<float>>)
    {
        if (!ValueRule::Float(text, -kUnbounded, kUnbounded, value))
            return false;
    }
    else if constexpr (std::is_same_v<M, MetaData_ranged<int>>)
    {
        int32_t v = 0;
        if (!ValueRule::Int(text, -kUnbounded, kUnbounded, v))
            return false;
        value = v;
    }
    else if constexpr (std::is_same_v<M, MetaData_enum>)
    {
        double v = 0.0;
        if (!ValueRule::ParseNumber(text, v) || v != std::trunc(v) || v < -2147483648.0 || v > 2147483647.0)
            return false;
        value = static_cast<int32_t>(v);
    }
    else if constexpr (std::is_same_v<T, bool>)
    {
        if (!ValueRule::Bool(text, value))
            return false;
    }
    else
        MyTypeTraits<T>::parse(text.c_str(), value);
    if constexpr (std::is_same_v<T, std::wstring> || std::is_same_v<T, MpBlob>)
    {
        std::string raw;
        ToBytes(value, raw);
        bytes.assign(raw.begin(), raw.end());
    }
    else
    {
        bytes.resize(sizeof(T));
        std::memcpy(bytes.data(), &value, sizeof(T));
    }
    return true;
}

template <typename T, class M>
void dsp_patch_parameter<T, M>::InitializePatchMemory(const wchar_t* text)
{
    T value{};
    MyTypeTraits<T>::parse(text ? text : L"", value);
    for (int key = 0; key < VoiceEntryCount(); ++key)
    {
        for (int patch = 0; patch < PatchCount(); ++patch)
            SetValue(value, key, patch);
    }
}

// Audio thread (the parameter watcher): the value is stored straight from
// the pin's variable, without a copy that could allocate.
template <typename T, class M>
void dsp_patch_parameter<T, M>::CopyPlugValue(int key, UPlug* plug)
{
    if (!plug || !plug->variable_)
        return;
    const void* variable = plug->variable_;
    int32_t scalar = 0;
    const void* data = &scalar;
    int size = 4;
    switch (plug->datatype_)
    {
    case DT_FLOAT:
    case DT_INT:
        data = variable;
        break;
    case DT_BOOL:
        data = variable;
        size = static_cast<int>(sizeof(bool));
        break;
    case DT_ENUM:
        scalar = *static_cast<const int16_t*>(variable);
        break;
    case DT_TEXT:
    {
        static_assert(sizeof(wchar_t) == 4, "texts are stored as 32-bit characters");
        const auto* text = static_cast<const std::wstring*>(variable);
        data = text->data();
        size = static_cast<int>(text->size() * sizeof(wchar_t));
        break;
    }
    case DT_BLOB:
    {
        const auto* blob = static_cast<const MpBlob*>(variable);
        data = blob->getData();
        size = blob->getSize();
        break;
    }
    default:
        return;
    }
    SetValueRaw2(data, size, EffectivePatch(), key);
}

template <typename T, class M>
float dsp_patch_parameter<T, M>::ToNormalised(const T& value) const
{
    return Normaliser<T, M>::To(value, *this);
}

template <typename T, class M>
bool dsp_patch_parameter<T, M>::FromNormalised(double normalised, T& value) const
{
    return Normaliser<T, M>::From(normalised, *this, value);
}

template <typename T, class M>
float dsp_patch_parameter<T, M>::GetValueNormalised(int key)
{
    return ToNormalised(GetValue(key));
}

template <typename T, class M>
void dsp_patch_parameter<T, M>::setValueNormalised(float normalised)
{
    T value{};
    if (!FromNormalised(normalised, value))
        return;
    const int patch = EffectivePatch();
    if (!SetValue(value, 0, patch))
        return;
    OnValueChangedFromGUI(false, 0, false);
    MarkEngineChange(0);
}

template <typename T, class M>
void dsp_patch_parameter<T, M>::vst_automate(int64_t time, int key, double normalised, bool updateGui)
{
    // Hosts built on JUCE's hosting keep normalised values as floats: what
    // they write back is the value they read, rounded to a float, and it may
    // cross to the plain value's neighbour (1.6 of 0..10 reads 0.16000000238,
    // is written back as 0.15999999642 and crosses to 1.5999999). A value
    // that stands where the parameter stands, to a float, moves nothing
    // (unless the parameter stands outside its range).
    if constexpr (std::is_same_v<M, MetaData_ranged<float>>)
    {
        const float current = GetValue(isPolyphonic() ? key : 0);
        const bool inRange = ValueRule::Clamp(current, this->getRangeMinimum(), this->getRangeMaximum()) == current;
        if (inRange && std::isfinite(normalised) && static_cast<float>(normalised) == ToNormalised(current))
            return;
    }
    T value{};
    if (!FromNormalised(normalised, value))
        return;
    // The host's own figure stays beside the value it stands for.
    if (!updateGui && !isPolyphonic())
        if (PatchStorageBase* entry = Storage(0))
            entry->HostFigure(normalised);
    std::string bytes;
    ToBytes(value, bytes);
    vst_automate2(time, key, bytes.data(), static_cast<int>(bytes.size()), updateGui);
}

template <typename T, class M>
void dsp_patch_parameter<T, M>::SerialiseMetaData(my_input_stream& stream)
{
    if constexpr (std::is_same_v<M, MetaData_ranged<float>> || std::is_same_v<M, MetaData_ranged<int>>)
    {
        T minimum{};
        T maximum{};
        stream.Read(&minimum, sizeof(T));
        stream.Read(&maximum, sizeof(T));
        if (!stream.failed())
            this->setRange(minimum, maximum);
    }
    else if constexpr (std::is_same_v<M, MetaData_enum>)
    {
        std::wstring list;
        stream >> list;
        if (!stream.failed())
            this->enumList_ = list;
    }
    else if constexpr (std::is_same_v<M, MetaData_filename>)
    {
        std::wstring extension;
        stream >> extension;
        if (!stream.failed())
            this->fileExtension_ = extension;
    }
}

template <typename T, class M>
void dsp_patch_parameter<T, M>::setMetadataRangeMinimum(double minimum)
{
    if constexpr (std::is_same_v<M, MetaData_ranged<float>>)
    {
        ValueRule::LimitBound(minimum, 0.0);
        this->minimum_ = static_cast<float>(minimum);
    }
    else if constexpr (std::is_same_v<M, MetaData_ranged<int>>)
    {
        if (minimum > -2147483649.0 && minimum < 2147483648.0)
            this->minimum_ = static_cast<int>(minimum);
    }
}

template <typename T, class M>
void dsp_patch_parameter<T, M>::setMetadataRangeMaximum(double maximum)
{
    if constexpr (std::is_same_v<M, MetaData_ranged<float>>)
    {
        ValueRule::LimitBound(maximum, 10.0);
        this->maximum_ = static_cast<float>(maximum);
    }
    else if constexpr (std::is_same_v<M, MetaData_ranged<int>>)
    {
        if (maximum > -2147483649.0 && maximum < 2147483648.0)
            this->maximum_ = static_cast<int>(maximum);
    }
}

template <typename T, class M>
void dsp_patch_parameter<T, M>::setMetadataTextMetadata(const std::wstring& text)
{
    if constexpr (std::is_same_v<M, MetaData_enum>)
        this->enumList_ = text;
    else if constexpr (std::is_same_v<M, MetaData_filename>)
        this->fileExtension_ = text;
}

template <typename T, class M>
void dsp_patch_parameter<T, M>::setUpFromDsp(const parameter_description* description, InterfaceObject* pin)
{
    moduleOwned_ = true;
    if (description)
        setAutomation(description->automation);
    if (pin)
    {
        polyphonic_ = pin->isPolyphonic();
        polyphonicGate_ = pin->isPolyphonicGate();
    }
    const bool onePatch = description && (description->flags & PD_IGNORE_PATCH_CHANGE) != 0;
    createPatchMemory(onePatch ? 1 : kDefaultPatchCount, polyphonic_ ? kKeyCount : 1);
    if constexpr (std::is_same_v<T, int>)
    {
        if (automation_ == 0x1B000000)
        {
            for (int key = 0; key < VoiceEntryCount(); ++key)
                SetValue(key, key, 0);
            return;
        }
    }
    InitializePatchMemory(description ? description->default_value.c_str() : L"");
}

template <typename T, class M>
bool dsp_patch_parameter<T, M>::StoreShape(PatchStore::Shape& shape) const
{
    if (isPolyphonic() || !Storage(0))
        return false;
    shape.handle = Handle();
    shape.hostId = getIndex();
    shape.patches = PatchCount();
    shape.room = ValueRoom();
    if constexpr (std::is_same_v<T, std::wstring>)
        shape.kind = PatchStore::Kind::Text;
    else if constexpr (std::is_same_v<T, MpBlob>)
        shape.kind = PatchStore::Kind::Blob;
    else if constexpr (std::is_same_v<T, bool>)
        shape.kind = PatchStore::Kind::Bool;
    else if constexpr (std::is_same_v<M, MetaData_enum>)
    {
        shape.kind = PatchStore::Kind::Enum;
        shape.enumList = this->getEnumList();
    }
    else
    {
        shape.kind = std::is_same_v<T, float> ? PatchStore::Kind::Float : PatchStore::Kind::Int;
        shape.minimum = this->getRangeMinimum();
        shape.maximum = this->getRangeMaximum();
    }
    return true;
}

template class dsp_patch_parameter<std::wstring, MetaData_filename>;
template class dsp_patch_parameter<int, MetaData_enum>;
template class dsp_patch_parameter<float, MetaData_ranged<float>>;
template class dsp_patch_parameter<bool, MetaData_none>;
template class dsp_patch_parameter<int, MetaData_ranged<int>>;
template class dsp_patch_parameter<MpBlob, MetaData_none>;

int PatchParameterIdForDatatype(int datatype)
{
    switch (datatype)
    {
    case DT_ENUM:
        return 21;
    case DT_TEXT:
        return 20;
    case DT_BOOL:
        return 23;
    case DT_FLOAT:
        return 22;
    case DT_INT:
        return 24;
    case DT_BLOB:
        return 28;
    default:
        return -1;
    }
}

void RegisterPatchParameterClasses()
{
    static std::once_flag once;
    std::call_once(once, [] {
        PersistanceFactory* factory = PersistanceFactory::Instance();
        factory->KVRegisterClass(20, new PersistanceRegister<dsp_patch_parameter_text>());
        factory->KVRegisterClass(21, new PersistanceRegister<dsp_patch_parameter_enum>());
        factory->KVRegisterClass(22, new PersistanceRegister<dsp_patch_parameter_float>());
        factory->KVRegisterClass(23, new PersistanceRegister<dsp_patch_parameter_bool>());
        factory->KVRegisterClass(24, new PersistanceRegister<dsp_patch_parameter_int>());
        factory->KVRegisterClass(28, new PersistanceRegister<dsp_patch_parameter_blob>());
    });
}
