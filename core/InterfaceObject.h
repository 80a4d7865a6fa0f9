#pragma once
// The description of one pin of a module type: what the pin is before any
// module exists. The engine builds each live pin from one of these.

#include <cstdint>
#include <string>
#include <vector>

#include "core/CObject.h"
#include "core/EPlugDataType.h"
#include "core/EPlugFlags.h"

class IPlug;
struct pin_description;
struct pin_description2;

// What the engine asks of a pin's description. Each question names the live
// pin it is about; a plain description answers from its own fields.
class IPlugDescriptionDecorator
{
public:
    virtual ~IPlugDescriptionDecorator() = default;

    virtual bool isUiPlug(IPlug* plug) const = 0;
    virtual bool isDualUiPlug(IPlug* plug) const = 0;
    virtual bool isParameterPlug(IPlug* plug) const = 0;
    virtual int getParameterId(IPlug* plug) const = 0;
    virtual int getParameterFieldId(IPlug* plug) const = 0;
    virtual int getHostConnect(IPlug* plug) const = 0;
    virtual bool DisableIfNotConnected(IPlug* plug) const = 0;
    virtual bool autoDuplicate(IPlug* plug) const = 0;
    virtual int getPlugDescID(IPlug* plug) const = 0;
    virtual bool isHostControlledPlug(IPlug* plug) const = 0;
    virtual bool isCustomisable(IPlug* plug) const = 0;
    virtual std::wstring GetDefault(IPlug* plug) const = 0;
    virtual bool isPolyphonic(IPlug* plug) const = 0;
    virtual bool isPolyphonicGate(IPlug* plug) const = 0;
};

class InterfaceObject : public IPlugDescriptionDecorator, public CObject
{
public:
    // A pin of a built-in unit's pin list. `variable` is the module member
    // bound to the pin, `buffer` the module's sample-pointer slot of an audio
    // pin. The notes text is not kept.
    InterfaceObject(void* variable, const std::wstring& name, EDirection direction, EPlugDataType datatype,
                    const std::wstring& defaultValue, const std::wstring& enumList, int flags,
                    const std::wstring& notes = std::wstring(), float** buffer = nullptr);
    // A row of a compiled-in pin table ("{FT_SHORT_NAME}" / "{FT_ENUM_LIST}"
    // notes pick the parameter field).
    InterfaceObject(int id, const pin_description& description);
    // A pin read from module XML; the reader sets parameter id and field after.
    InterfaceObject(int id, const pin_description2& description);

    bool isUiPlug(IPlug* = nullptr) const override { return (flags_ & IO_UI_COMMUNICATION) != 0; }
    bool isDualUiPlug(IPlug* = nullptr) const override
    {
        return (flags_ & (IO_UI_COMMUNICATION | IO_UI_DUAL_FLAG)) == (IO_UI_COMMUNICATION | IO_UI_DUAL_FLAG);
    }
    bool isParameterPlug(IPlug* = nullptr) const override { return (flags_ & (IO_PATCH_STORE | IO_UI_DUAL_FLAG)) != 0; }
    int getParameterId(IPlug* = nullptr) const override { return parameterId_; }
    int getParameterFieldId(IPlug* = nullptr) const override { return parameterField_; }
    int getHostConnect(IPlug* = nullptr) const override { return hostConnect_; }
    bool DisableIfNotConnected(IPlug* = nullptr) const override { return (flags_ & IO_PRIVATE) != 0; }
    bool autoDuplicate(IPlug* = nullptr) const override { return (flags_ & IO_AUTODUPLICATE) != 0; }
    int getPlugDescID(IPlug* = nullptr) const override { return id_; }
    bool isHostControlledPlug(IPlug* = nullptr) const override { return (flags_ & IO_HOST_CONTROL) != 0; }
    bool isCustomisable(IPlug* = nullptr) const override { return (flags_ & IO_CUSTOMISABLE) != 0; }
    std::wstring GetDefault(IPlug* = nullptr) const override { return defaultValue_; }
    bool isPolyphonic(IPlug* = nullptr) const override { return (flags_ & IO_PAR_POLYPHONIC) != 0; }
    bool isPolyphonicGate(IPlug* = nullptr) const override { return (flags_ & IO_PAR_POLYPHONIC_GATE) != 0; }

    EDirection GetDirection() const { return direction_; }
    const std::wstring& GetName() const { return name_; }
    const std::wstring& GetDefaultVal() const { return defaultValue_; }
    const std::wstring& GetEnumList() const { return enumList_; }
    void* GetVarAddr() const { return variable_; }
    float** GetBufferAddress() const { return buffer_; }
    EPlugDataType GetDatatype() const { return datatype_; }
    uint32_t GetFlags() const { return flags_; }
    // True when the pin makes its module polyphony-active (not a linear input).
    bool GetPPActiveFlag() const { return (flags_ & IO_LINEAR_INPUT) == 0; }

    // Set while a module type is registered.
    void SetPlugDescID(int id) { id_ = id; }
    void SetVarAddr(void* variable) { variable_ = variable; }
    void SetBufferAddress(float** buffer) { buffer_ = buffer; }
    void SetFlags(uint32_t flags) { flags_ = flags; }
    void SetParameterId(int id) { parameterId_ = id; }
    void SetParameterFieldId(int field) { parameterField_ = field; }

private:
    void AddPolyphonicActiveFlag();

    float** buffer_ = nullptr;
    EDirection direction_ = DR_IN;
    std::wstring name_;
    std::wstring defaultValue_;
    std::wstring enumList_;
    uint32_t flags_ = 0;
    EPlugDataType datatype_ = DT_FLOAT;
    void* variable_ = nullptr;
    int32_t id_ = -1;
    int32_t parameterId_ = -1;
    int32_t parameterField_ = 0;
    int32_t hostConnect_ = -1;
};

// The list a unit fills with its pin descriptions; deletes them when destroyed.
class SafeInterfaceObjectArray : public std::vector<InterfaceObject*>
{
public:
    SafeInterfaceObjectArray() = default;
    SafeInterfaceObjectArray(const SafeInterfaceObjectArray&) = delete;
    SafeInterfaceObjectArray& operator=(const SafeInterfaceObjectArray&) = delete;
    ~SafeInterfaceObjectArray();
};
