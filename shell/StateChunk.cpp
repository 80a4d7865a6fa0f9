#include "shell/StateChunk.h"

#include <tinyxml.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/SafeXmlText.h"

namespace StateChunk
{
bool Read(Steinberg::IBStream* stream, std::string& text)
{
    text.clear();
    if (stream == nullptr)
        return false;
    int32_t count = 0;
    Steinberg::int32 got = 0;
    if (stream->read(&count, sizeof(count), &got) != Steinberg::kResultOk || got != sizeof(count))
        return false;
    if (count < 0 || count > kMaxBytes)
        return false;

    constexpr int kPiece = 65536;
    char piece[kPiece];
    while (static_cast<int>(text.size()) < count)
    {
        const int want = std::min(kPiece, count - static_cast<int>(text.size()));
        got = 0;
        if (stream->read(piece, want, &got) != Steinberg::kResultOk || got <= 0 || got > want)
        {
            text.clear();
            return false;
        }
        text.append(piece, static_cast<std::size_t>(got));
    }
    return true;
}

bool Write(Steinberg::IBStream* stream, const std::string& text)
{
    if (stream == nullptr || text.size() > static_cast<std::size_t>(kMaxBytes))
        return false;
    int32_t count = static_cast<int32_t>(text.size());
    Steinberg::int32 written = 0;
    if (stream->write(&count, sizeof(count), &written) != Steinberg::kResultOk || written != sizeof(count))
        return false;
    if (count == 0)
        return true;
    written = 0;
    return stream->write(const_cast<char*>(text.data()), count, &written) == Steinberg::kResultOk && written == count;
}

bool IsPresetState(const std::string& text, int* program)
{
    if (program)
        *program = -1;
    if (text.empty())
        return true;
    if (!IsSafeXmlText(text))
        return false;
    TiXmlDocument document;
    document.Parse(text.c_str());
    if (document.Error())
        return false;
    const TiXmlElement* root = document.RootElement();
    if (root == nullptr || std::strcmp(root->Value(), "Parameters") != 0)
        return false;
    if (program && (root->QueryIntAttribute("program", program) != TIXML_SUCCESS || *program < 0))
        *program = -1;
    return true;
}
} // namespace StateChunk
