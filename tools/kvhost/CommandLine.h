#pragma once
// The kvhost command: load a bundle, play a note list or a MIDI file through
// it, write a WAV file, save and restore the processor's state.

#include <iosfwd>
#include <string>
#include <vector>

#include "tools/kvhost/EditorMode.h"
#include "tools/kvhost/PluginInstance.h"
#include "tools/kvhost/WavWriter.h"

struct HostOptions
{
    std::string bundle;
    std::string notesFile;
    std::string midiFile;
    std::string outFile;
    std::string saveStateFile;
    std::string loadStateFile;
    double sampleRate = 48000.0;
    int blockSize = 512;
    double seconds = -1.0;
    double tailSeconds = 1.0;
    double tempo = 120.0;
    bool tempoGiven = false;
    WavFormat format = WavFormat::Float32;
    ConnectOrder connectOrder = ConnectOrder::ProcessorFirst;
    bool offline = false;
    bool list = false;
    bool help = false;
    EditorOptions editor;
};

// Exit codes of RunHost.
constexpr int kHostOk = 0;
constexpr int kHostFailed = 1;
constexpr int kHostUsage = 2;
// How long the host plays silence after the editor closes, so that its
// edits reach the processor before --save-state.
constexpr double kEditorSettleSeconds = 0.1;

std::string HostUsage();
bool ParseHostOptions(const std::vector<std::string>& arguments, HostOptions& options, std::string& error);
// Runs the command; messages go to `out`, failures to `err`.
int RunHost(const HostOptions& options, std::ostream& out, std::ostream& err);
// Parses and runs: what main() does.
int RunHostCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
