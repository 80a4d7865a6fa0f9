#include "core/InterfaceObject.h"

#include "core/HostControls.h"
#include "core/ParameterFieldType.h"
#include "core/pin_description.h"

namespace
{
std::wstring fromCString(const wchar_t* text)
{
    return text ? std::wstring(text) : std::wstring();
}
} // namespace

InterfaceObject::InterfaceObject(void* variable, const std::wstring& name, EDirection direction, EPlugDataType datatype,
                                 const std::wstring& defaultValue, const std::wstring& enumList, int flags,
                                 const std::wstring& /*notes*/, float** buffer)
    : buffer_(buffer),
      direction_(direction),
      name_(name),
      defaultValue_(defaultValue),
      enumList_(enumList),
      flags_(static_cast<uint32_t>(flags)),
      datatype_(datatype),
      variable_(variable)
{
    AddPolyphonicActiveFlag();
    if (flags_ & IO_HOST_CONTROL)
        hostConnect_ = StringToHostControl(name_);
}

InterfaceObject::InterfaceObject(int id, const pin_description& description)
    : direction_(static_cast<EDirection>(description.direction)),
      name_(fromCString(description.name)),
      defaultValue_(fromCString(description.default_value)),
      enumList_(fromCString(description.enum_list)),
      flags_(static_cast<uint32_t>(description.flags)),
      datatype_(static_cast<EPlugDataType>(description.datatype)),
      id_(id)
{
    AddPolyphonicActiveFlag();

    const std::wstring notes = fromCString(description.notes);
    if (!notes.empty() && notes[0] == L'{')
    {
        if (notes == L"{FT_SHORT_NAME}")
            parameterField_ = FT_SHORT_NAME;
        else if (notes == L"{FT_ENUM_LIST}")
            parameterField_ = FT_ENUM_LIST;
    }
}

InterfaceObject::InterfaceObject(int id, const pin_description2& description)
    : direction_(static_cast<EDirection>(description.direction)),
      name_(description.name),
      defaultValue_(description.default_value),
      enumList_(description.enum_list),
      flags_(description.flags),
      datatype_(static_cast<EPlugDataType>(description.datatype)),
      id_(id),
      hostConnect_(StringToHostControl(description.host_connect))
{
    AddPolyphonicActiveFlag();
}

void InterfaceObject::AddPolyphonicActiveFlag()
{
    // Audio inputs propagate polyphony unless declared linear.
    if ((flags_ & (IO_POLYPHONIC_ACTIVE | IO_LINEAR_INPUT)) == 0 && direction_ == DR_IN && datatype_ == DT_FSAMPLE)
        flags_ |= IO_POLYPHONIC_ACTIVE;
}

SafeInterfaceObjectArray::~SafeInterfaceObjectArray()
{
    for (InterfaceObject* description : *this)
        delete description;
}
