#include "tools/kvhost/CommandLine.h"

#include <charconv>
#include <cmath>
#include <iomanip>
#include <ostream>
#include <sstream>

#include "base/source/fstring.h"
#include "tools/kvhost/FileBytes.h"
#include "tools/kvhost/HostMemoryStream.h"
#include "tools/kvhost/LevelMeter.h"
#include "tools/kvhost/MidiFile.h"
#include "tools/kvhost/NoteList.h"
#include "tools/kvhost/Renderer.h"

namespace
{
bool Number(const std::string& text, double& value)
{
    const char* end = text.data() + text.size();
    auto [ptr, code] = std::from_chars(text.data(), end, value);
    return code == std::errc() && ptr == end && std::isfinite(value);
}

bool Integer(const std::string& text, int& value)
{
    const char* end = text.data() + text.size();
    auto [ptr, code] = std::from_chars(text.data(), end, value);
    return code == std::errc() && ptr == end;
}

std::string Decibels(double linear)
{
    const double db = LevelMeter::ToDbfs(linear);
    if (std::isinf(db))
        return "-inf dBFS";
    std::ostringstream text;
    text << std::fixed << std::setprecision(2) << db << " dBFS";
    return text.str();
}

std::string ClassIdText(const Steinberg::TUID cid)
{
    char text[40] = {};
    Steinberg::FUID::fromTUID(cid).toRegistryString(text);
    return text;
}
} // namespace

std::string HostUsage()
{
    return "usage: kvhost BUNDLE [options]\n"
           "  BUNDLE                 a <Name>.vst3 folder (or the plug-in's .so)\n"
           "  --notes FILE           play a note list (see tools/kvhost/NoteList.h)\n"
           "  --midi FILE            play a Standard MIDI File (format 0 or 1)\n"
           "  --out FILE.wav         write the rendered audio\n"
           "  --format float|pcm16   WAV sample format (default float)\n"
           "  --rate HZ              sample rate (default 48000)\n"
           "  --block N              maximum block size (default 512)\n"
           "  --seconds S            render length (default: the performance plus the tail)\n"
           "  --tail S               time rendered after the last event (default 1)\n"
           "  --tempo BPM            tempo of a note list (default 120 or the list's own)\n"
           "  --offline              process in offline mode\n"
           "  --connect processor-first|controller-first\n"
           "  --load-state FILE      restore the processor state before rendering\n"
           "  --save-state FILE      save the processor state after rendering or the editor's actions\n"
           "  --list                 list the plug-in's classes and stop\n" +
           EditorUsage();
}

bool ParseHostOptions(const std::vector<std::string>& arguments, HostOptions& options, std::string& error)
{
    options = HostOptions();
    for (std::size_t i = 0; i < arguments.size(); ++i)
    {
        const std::string& argument = arguments[i];
        auto value = [&](std::string& target) {
            if (i + 1 >= arguments.size())
            {
                error = argument + " needs a value";
                return false;
            }
            target = arguments[++i];
            return true;
        };
        std::string text;
        if (argument == "--help" || argument == "-h")
            options.help = true;
        else if (argument == "--list")
            options.list = true;
        else if (argument == "--offline")
            options.offline = true;
        else if (argument == "--notes")
        {
            if (!value(options.notesFile))
                return false;
        }
        else if (argument == "--midi")
        {
            if (!value(options.midiFile))
                return false;
        }
        else if (argument == "--out")
        {
            if (!value(options.outFile))
                return false;
        }
        else if (argument == "--save-state")
        {
            if (!value(options.saveStateFile))
                return false;
        }
        else if (argument == "--load-state")
        {
            if (!value(options.loadStateFile))
                return false;
        }
        else if (argument == "--format")
        {
            if (!value(text))
                return false;
            if (text == "float")
                options.format = WavFormat::Float32;
            else if (text == "pcm16")
                options.format = WavFormat::Pcm16;
            else
            {
                error = "--format is float or pcm16, not \"" + text + "\"";
                return false;
            }
        }
        else if (argument == "--connect")
        {
            if (!value(text))
                return false;
            if (text == "processor-first")
                options.connectOrder = ConnectOrder::ProcessorFirst;
            else if (text == "controller-first")
                options.connectOrder = ConnectOrder::ControllerFirst;
            else
            {
                error = "--connect is processor-first or controller-first, not \"" + text + "\"";
                return false;
            }
        }
        else if (argument == "--rate")
        {
            if (!value(text))
                return false;
            if (!Number(text, options.sampleRate) || options.sampleRate < 1000.0 || options.sampleRate > 1536000.0 ||
                options.sampleRate != std::floor(options.sampleRate))
            {
                error = "--rate is a whole number of Hz from 1000 to 1536000";
                return false;
            }
        }
        else if (argument == "--block")
        {
            if (!value(text))
                return false;
            if (!Integer(text, options.blockSize) || options.blockSize < 1 || options.blockSize > 65536)
            {
                error = "--block is a number of samples from 1 to 65536";
                return false;
            }
        }
        else if (argument == "--seconds" || argument == "--tail")
        {
            if (!value(text))
                return false;
            double seconds = 0.0;
            if (!Number(text, seconds) || seconds < 0.0 || seconds > 86400.0)
            {
                error = argument + " is a number of seconds from 0 to 86400";
                return false;
            }
            (argument == "--seconds" ? options.seconds : options.tailSeconds) = seconds;
        }
        else if (argument == "--tempo")
        {
            if (!value(text))
                return false;
            if (!Number(text, options.tempo) || options.tempo <= 0.0 || options.tempo > 1000.0)
            {
                error = "--tempo is a number of beats per minute above 0, at most 1000";
                return false;
            }
            options.tempoGiven = true;
        }
        else if (ParseEditorOption(arguments, i, options.editor, error))
            continue;
        else if (!error.empty())
            return false;
        else if (!argument.empty() && argument[0] == '-')
        {
            error = "unknown option " + argument;
            return false;
        }
        else if (options.bundle.empty())
            options.bundle = argument;
        else
        {
            error = "more than one bundle given (\"" + options.bundle + "\" and \"" + argument + "\")";
            return false;
        }
    }
    if (!options.help && options.bundle.empty())
    {
        error = "no bundle given";
        return false;
    }
    if (!options.editor.open && (!options.editor.actions.empty() || !options.editor.display.empty()))
    {
        error = "editor actions and --display need --editor";
        return false;
    }
    if (!options.notesFile.empty() && !options.midiFile.empty())
    {
        error = "--notes and --midi cannot be used together";
        return false;
    }
    return true;
}

int RunHost(const HostOptions& options, std::ostream& out, std::ostream& err)
{
    if (options.help)
    {
        out << HostUsage();
        return kHostOk;
    }
    auto fail = [&err](const std::string& message) {
        err << "kvhost: " << message << "\n";
        return kHostFailed;
    };

    // The performance is read first, so a bad file costs no plug-in load.
    Performance performance;
    std::string error;
    if (!options.notesFile.empty() && !LoadNoteList(options.notesFile, performance, error))
        return fail(error);
    if (!options.midiFile.empty() && !LoadMidiFile(options.midiFile, performance, error))
        return fail(error);
    if (options.tempoGiven && options.midiFile.empty())
        performance.tempo.setTempo(0.0, options.tempo);

    std::shared_ptr<PluginModule> module = PluginModule::Load(options.bundle, error);
    if (!module)
        return fail(error);
    if (options.list)
    {
        out << module->modulePath() << "\n  vendor: " << module->vendor() << "\n";
        for (const auto& entry : module->classes())
            out << "  " << ClassIdText(entry.cid) << "  " << entry.category << "  \"" << entry.name << "\"\n";
        return kHostOk;
    }

    InstanceSetup setup;
    setup.sampleRate = options.sampleRate;
    setup.maxBlockSize = options.blockSize;
    setup.processMode = options.offline ? Steinberg::Vst::kOffline : Steinberg::Vst::kRealtime;
    setup.connectOrder = options.connectOrder;
    std::unique_ptr<PluginInstance> instance = PluginInstance::Create(module, setup, error);
    if (!instance)
        return fail(error);

    if (!options.loadStateFile.empty())
    {
        std::vector<char> state;
        if (!ReadFileBytes(options.loadStateFile, HostMemoryStream::kMaxSize, state, error) ||
            !instance->loadState(state, error))
            return fail(error);
    }

    auto saveState = [&]() {
        std::vector<char> state;
        if (!instance->saveState(state, error) || !WriteFileBytes(options.saveStateFile, state, error))
            return fail(error);
        out << "state saved to " << options.saveStateFile << " (" << state.size() << " bytes)\n";
        return kHostOk;
    };

    if (options.editor.open)
    {
        if (RunEditor(*instance, options.editor, out, err) != 0)
            return kHostFailed;
        if (options.saveStateFile.empty())
            return kHostOk;
        // The editor's edits reach the processor as a DAW delivers them: at
        // the start of the next block, here of a short stretch of silence.
        RenderSettings settle;
        settle.seconds = kEditorSettleSeconds;
        settle.tailSeconds = 0.0;
        RenderResult settled;
        Renderer renderer(*instance);
        const Performance silence;
        if (!renderer.render(silence, settle, nullptr, settled, error))
            return fail(error);
        return saveState();
    }

    WavWriter writer;
    const bool writing = !options.outFile.empty();
    if (writing)
    {
        int channels = 0;
        for (int count : instance->outputChannels())
            channels += count;
        if (channels == 0)
            return fail("the plug-in has no audio outputs to write");
        if (!writer.open(options.outFile, channels, static_cast<int>(options.sampleRate), options.format, error))
            return fail(error);
    }

    RenderSettings settings;
    settings.seconds = options.seconds;
    settings.tailSeconds = options.tailSeconds;
    RenderResult result;
    Renderer renderer(*instance);
    if (!renderer.render(performance, settings, writing ? &writer : nullptr, result, error))
        return fail(error);
    if (writing && !writer.close(error))
        return fail(error);

    if (result.lengthCapped)
        err << "kvhost: the performance was cut at " << Renderer::kMaxAutomaticSeconds << " s; give --seconds\n";
    if (result.droppedNotes > 0)
        err << "kvhost: " << result.droppedNotes << " note events skipped (the plug-in takes no notes)\n";
    if (result.unmappedControllers > 0)
        err << "kvhost: " << result.unmappedControllers
            << " MIDI controller or program change events skipped (not mapped)\n";

    out << (writing ? options.outFile : std::string("(no output file)")) << ": " << result.channels
        << " channels, " << static_cast<long long>(options.sampleRate) << " Hz, " << std::fixed
        << std::setprecision(3) << static_cast<double>(result.frames) / options.sampleRate
        << " s, peak " << Decibels(result.peak) << ", RMS " << Decibels(result.rms) << "\n";

    return options.saveStateFile.empty() ? kHostOk : saveState();
}

int RunHostCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    HostOptions options;
    std::string error;
    if (!ParseHostOptions(arguments, options, error))
    {
        err << "kvhost: " << error << "\n" << HostUsage();
        return kHostUsage;
    }
    return RunHost(options, out, err);
}
