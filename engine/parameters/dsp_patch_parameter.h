#pragma once
// The typed patch parameters: dsp_patch_parameter<T, M> adds the value type T
// and a metadata class M (range, enum list or file extension) to the
// type-independent base. Class ids: 20 text, 21 enum, 22 float, 23 bool,
// 24 int, 28 blob.

#include <cstdint>
#include <string>

#include "core/MpBlob.h"
#include "engine/parameters/dsp_patch_parameter_base.h"
#include "engine/parameters/dsp_patch_parameter_meta.h"

// Pin flag of a setter output whose values arrive one block late, so that a
// loop through a parameter watcher cannot feed back within one block.
inline constexpr uint32_t kPlugDelayedOneBlock = 0x800;

template <typename T, class M>
class dsp_patch_parameter : public dsp_patch_parameter_base, public M
{
public:
    using value_type = T;
    static int DataTypeId();

    void OnUiMsg(int id, my_input_stream& stream) override { HandleUiMsg(id, stream); }
    int queryQueMessageLength(int maximum) override { return QueMessageLength(maximum); }
    void getQueMessage(my_output_stream& out, int length) override { WriteQueMessage(out, length); }
    void Initialize(TiXmlElement* element) override { InitializeCommon(element); }

    bool typeIsVariableSize() const override;
    int typeSize() const override;
    int dataType() const override { return DataTypeId(); }

    T GetValue(int key, int patch) const;
    // The value of the key at the effective patch.
    T GetValue(int key = 0) const { return GetValue(key, EffectivePatch()); }
    bool SetValue(const T& value, int key, int patch);

    void SetValueFromXml(const std::string& text, int key, int patch) override;
    bool ConformValue(void* data, int size) const override;
    std::string GetValueAsXml(int patch, int key) override;
    bool PrepareValueFromXml(const std::string& text, std::vector<uint8_t>& bytes) const override;
    std::string ValueAsXml(const void* data, int size) const override;
    void InitializePatchMemory(const wchar_t* text) override;
    void CopyPlugValue(int key, UPlug* plug) override;
    float GetValueNormalised(int key) override;
    void setValueNormalised(float normalised) override;
    void vst_automate(int64_t time, int key, double normalised, bool updateGui) override;
    void SerialiseMetaData(my_input_stream& stream) override;
    void setMetadataRangeMinimum(double minimum) override;
    void setMetadataRangeMaximum(double maximum) override;
    void setMetadataTextMetadata(const std::wstring& text) override;
    void setUpFromDsp(const parameter_description* description, InterfaceObject* pin) override;
    bool StoreShape(PatchStore::Shape& shape) const override;

private:
    // Normalised value of a typed value, and back; text and blob have none.
    float ToNormalised(const T& value) const;
    bool FromNormalised(double normalised, T& value) const;
    // The value a text from outside stands for, by the shared value rule.
    bool ConformFromText(const std::string& text, T& value) const;
};

using dsp_patch_parameter_text = dsp_patch_parameter<std::wstring, MetaData_filename>;
using dsp_patch_parameter_enum = dsp_patch_parameter<int, MetaData_enum>;
using dsp_patch_parameter_float = dsp_patch_parameter<float, MetaData_ranged<float>>;
using dsp_patch_parameter_bool = dsp_patch_parameter<bool, MetaData_none>;
using dsp_patch_parameter_int = dsp_patch_parameter<int, MetaData_ranged<int>>;
using dsp_patch_parameter_blob = dsp_patch_parameter<MpBlob, MetaData_none>;

extern template class dsp_patch_parameter<std::wstring, MetaData_filename>;
extern template class dsp_patch_parameter<int, MetaData_enum>;
extern template class dsp_patch_parameter<float, MetaData_ranged<float>>;
extern template class dsp_patch_parameter<bool, MetaData_none>;
extern template class dsp_patch_parameter<int, MetaData_ranged<int>>;
extern template class dsp_patch_parameter<MpBlob, MetaData_none>;

// The parameter class id of a pin datatype; -1 for datatypes without one.
int PatchParameterIdForDatatype(int datatype);
// Registers the six classes with the PersistanceFactory; safe to call again.
void RegisterPatchParameterClasses();
