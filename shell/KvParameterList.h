#pragma once
// The patch parameters of parameters.kv.xml, read the one way both the
// controller and the processor need them: each as a KvParameter record and,
// when it has a host index, its host parameter (the conversions between the
// host's normalised values and the plain ones).
//
// Threads: UI, every function.

#include <string>
#include <vector>

#include "shell/KvParameter.h"

class TiXmlElement;
namespace Steinberg::Vst
{
class Parameter;
}

struct KvParameterEntry
{
    int handle = -1;
    KvParameter record;
    // Owned by whoever takes the entry; null when record.index is -1.
    Steinberg::Vst::Parameter* host = nullptr;
    // The items of its patch-list: its value in program 0, 1, 2 ... as text.
    std::vector<std::string> programTexts;
};

namespace KvParameterList
{
// Host parameter ids of patch parameters run from 0 to this.
constexpr int kMaxPatchIndex = 9999;
// Longer lists are offered to the host as a range of positions.
constexpr int kMaxListItems = 1024;

// The "Parameters" list of the document's first element, or null.
const TiXmlElement* FindList(const TiXmlElement* root);
// Every "Parameter" element of the list in order. A record that is private,
// has no numeric class, or whose index is out of range or already taken gets
// index -1 and no host parameter.
std::vector<KvParameterEntry> Read(const TiXmlElement* list);
// The whole document text; false, and nothing read, when it is empty, unsafe
// or no XML.
bool ReadDocument(const std::string& text, std::vector<KvParameterEntry>& entries);
} // namespace KvParameterList
