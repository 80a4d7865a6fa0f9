#pragma once
// The test instrument's identity and its deliberate faults, read once from
// its bundle's Resources/factory.kv.xml. The Plugin attribute "Fail" lists
// the calls (comma-separated) that are to fail, so tests can lay out bundles
// that misbehave at a chosen step.

#include <set>
#include <string>

#include "pluginterfaces/base/funknown.h"

class TestSineSettings
{
public:
    static const TestSineSettings& Get();

    bool fails(const char* call) const { return failures_.count(call) != 0; }

    std::string vendor_;
    std::string url_;
    std::string email_;
    std::string name_;
    std::string version_;
    std::string subCategories_;
    Steinberg::FUID processorId_;
    Steinberg::FUID controllerId_;

private:
    TestSineSettings();

    std::set<std::string> failures_;
};
