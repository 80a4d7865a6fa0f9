#pragma once
// Registry record of an SDK-kind module whose code lives in an external module
// bundle (named by "imbeddedFilename" in its module XML). Opening bundles is
// not built yet: such a record describes its module but makes no objects.

#include "core/Module_Info3_base.h"

class Module_Info3 : public Module_Info3_base
{
public:
    Module_Info3(const std::wstring& filename, const std::wstring& group);

    std::wstring Filename() const override { return filename_; }
    bool fromExternalDll() const override { return true; }
    bool FileInUse() const override { return false; }
    // True when the bundle is open; no bundle is ever opened yet.
    bool OnDemandLoad() override { return bundle_ != nullptr; }

    // True when the record describes no pins and no parameters.
    virtual bool isSummary() const;

private:
    void* bundle_ = nullptr;
    std::wstring filename_;
};
