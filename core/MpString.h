#pragma once
// The string-return object of the module SDK: a caller passes it to a module,
// the module stores its text through IMpReturnString::setData. It lives on the
// caller's stack or in its owner, so reference counting is a no-op.

#include "core/mp_interfaces.h"

#include <string>

namespace gmpi_sdk
{

class MpString final : public gmpi::IMpReturnString
{
public:
    MpString() = default;
    virtual ~MpString() = default;

    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    int32_t addRef() override { return 1; }
    int32_t release() override { return 1; }

    // A size of 0 or less, or no data, empties the string.
    int32_t setData(const char* data, int32_t size) override;

    int32_t getSize() const { return static_cast<int32_t>(text_.size()); }
    const char* getData() const { return text_.data(); }
    const std::string& str() const { return text_; }

private:
    std::string text_;
};

} // namespace gmpi_sdk
