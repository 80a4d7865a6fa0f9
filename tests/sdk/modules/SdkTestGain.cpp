// "KV Test SDK Gain": an external module written against the module SDK alone.
// Audio in times a float gain, a MIDI input, and messages to and from its
// editor part that let tests see what reached it. Its output stops streaming
// with its input, after which the SDK's automatic sleep lets it rest.
#include <atomic>
#include <chrono>
#include <cstring>
#include <cwchar>
#include <stdexcept>
#include <thread>

#include "MpBase2.h"
#include "MpFactory.h"
#include "MpPin.h"

namespace
{
// A test's hold on the audio thread: once armed, the next process call of
// any gain waits, mid-block, until the test lets go.
enum Hold : int
{
    HOLD_OFF = 0,
    HOLD_ARMED = 1,
    HOLD_HOLDING = 2,
};
std::atomic<int> hold{HOLD_OFF};

[[gnu::noinline]] void HoldNow()
{
    int armed = HOLD_ARMED;
    if (!hold.compare_exchange_strong(armed, HOLD_HOLDING))
        return;
    while (hold.load() == HOLD_HOLDING)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void HoldWhileAsked()
{
    // A plain read first: a locked exchange on every process call would cost
    // the gains more than their own work.
    if (hold.load(std::memory_order_relaxed) == HOLD_ARMED)
        HoldNow();
}
} // namespace

// Reached by tests through dlsym on the loaded bundle: arm (true) or let go
// (false); whether an audio thread is held now.
extern "C" __attribute__((visibility("default"))) void KvTestHoldAudio(bool on)
{
    hold.store(on ? HOLD_ARMED : HOLD_OFF);
}
extern "C" __attribute__((visibility("default"))) bool KvTestAudioHeld()
{
    return hold.load() == HOLD_HOLDING;
}

namespace
{
// A float input pin of the module's own: the value of its latest event.
class FloatInPin : public MpPinBase
{
public:
    int getDatatype() const override { return gmpi::MP_FLOAT32; }
    int getDirection() const override { return gmpi::MP_IN; }
    void processEvent(const gmpi::MpEvent* event) override
    {
        if (event->eventType == gmpi::EVENT_PIN_SET && event->parm2 >= 4)
            std::memcpy(&value, gmpi::MpEventData(event), 4);
        MpPinBase::processEvent(event);
    }
    float value = 1.0f;
};

// Message ids between the module and its editor part.
enum Messages : int32_t
{
    MSG_GAIN_EVENTS = 1,  // to editor: int32 count, then the offsets of the gain events of one process call
    MSG_MIDI = 2,         // to editor: the MIDI bytes received
    MSG_ECHO = 10,        // from editor: sent back as MSG_ECHOED
    MSG_ECHOED = 11,
    MSG_THROW = 20,       // from editor: throws at once
    MSG_THROW_LATER = 21, // from editor: throws in the next process call
    MSG_ABUSE = 30,       // from editor: calls host services with bad arguments
    MSG_ABUSED = 31,      // to editor: their results
    MSG_CLONES = 40,      // from editor: asks about voice clones
    MSG_CLONED = 41,      // to editor: isCloned, clone count
    MSG_BEFORE_OPEN = 50, // to editor: results of host calls made before open
};

class SdkTestGain : public MpBase2
{
public:
    SdkTestGain(bool throwOnOpen, bool report) : throwOnOpen_(throwOnOpen), report_(report)
    {
        initializePin(0, in_);
        initializePin(1, out_);
        initializePin(2, gain_, &SdkTestGain::onGain);
        initializePin(3, midi_);
        setSubProcess(&SdkTestGain::subProcess);
    }

    int32_t setHost(gmpi::IMpUnknown* host) override
    {
        const int32_t result = MpBase2::setHost(host);
        // Services asked for before open must answer without harm.
        if (host_)
        {
            int32_t blockSize = -1;
            const int32_t value = 0;
            beforeOpen_[0] = host_->getBlockSize(blockSize);
            beforeOpen_[1] = host_->setPin(0, 1, 4, &value);
            beforeOpen_[2] = host_->sleep();
            beforeOpen_[3] = host_->sendMessageToGui(MSG_ECHOED, 4, &value);
        }
        return result;
    }

    int32_t open() override
    {
        if (throwOnOpen_)
            throw std::runtime_error("refuses to open");
        // The module checks its pins against what the host built from its XML.
        void* found = nullptr;
        if (!host_ || host_->createPinIterator(&found) != gmpi::MP_OK || !found)
            return gmpi::MP_FAIL;
        auto* pins = static_cast<gmpi::IMpPinIterator*>(found);
        int matched = 0;
        for (int32_t ok = pins->first(); ok == gmpi::MP_OK; ok = pins->next())
        {
            int32_t id = -1, direction = -1, datatype = -1;
            pins->getPinId(id);
            pins->getPinDirection(direction);
            pins->getPinDatatype(datatype);
            const MpPinBase* pin = getPin(id);
            if (pin && pin->getDirection() == direction && pin->getDatatype() == datatype)
                ++matched;
        }
        pins->release();
        return matched == static_cast<int>(pins_.size()) ? MpBase2::open() : gmpi::MP_FAIL;
    }

    void process(int32_t count, const gmpi::MpEvent* events) override
    {
        HoldWhileAsked();
        if (throwInProcess_)
            throw std::runtime_error("thrown in process");
        if (report_)
            ProcessAndReport(count, events);
        else
            MpBase2::process(count, events);
    }

    // Kept apart, so that the quiet gain's call does not pay its frame.
    [[gnu::noinline]] void ProcessAndReport(int32_t count, const gmpi::MpEvent* events)
    {
        if (!reportedBeforeOpen_)
        {
            reportedBeforeOpen_ = true;
            host_->sendMessageToGui(MSG_BEFORE_OPEN, sizeof(beforeOpen_), beforeOpen_);
        }
        gainEventCount_ = 0;
        MpBase2::process(count, events);
        if (gainEventCount_ > 0)
        {
            int32_t report[1 + kMaxReported];
            report[0] = gainEventCount_;
            std::memcpy(report + 1, gainEvents_, sizeof(int32_t) * gainEventCount_);
            host_->sendMessageToGui(MSG_GAIN_EVENTS, 4 * (1 + gainEventCount_), report);
        }
    }

    void onGain(const gmpi::MpEvent* event)
    {
        if (gainEventCount_ < kMaxReported)
            gainEvents_[gainEventCount_++] = event->timeDelta;
    }

    void onSetPins() override { out_.setStreaming(in_.isStreaming()); }

    void onMidiMessage(int /*pin*/, const unsigned char* message, int size) override
    {
        host_->sendMessageToGui(MSG_MIDI, size, message);
    }

    void subProcess(int sampleFrames)
    {
        const float* in = in_.getBuffer() + getBlockPosition();
        float* out = out_.getBuffer() + getBlockPosition();
        const float gain = gain_.value;
        for (int i = 0; i < sampleFrames; ++i)
            out[i] = in[i] * gain;
    }

    int32_t receiveMessageFromGui(int32_t id, int32_t size, const void* data) override
    {
        switch (id)
        {
        case MSG_ECHO:
            return host_->sendMessageToGui(MSG_ECHOED, size, data);
        case MSG_THROW:
            throw std::runtime_error("thrown on a message");
        case MSG_THROW_LATER:
            throwInProcess_ = true;
            return gmpi::MP_OK;
        case MSG_ABUSE:
            return Abuse();
        case MSG_CLONES:
            return ReportClones();
        default:
            return gmpi::MP_OK;
        }
    }

private:
    static constexpr int kMaxReported = 16;

    int32_t Abuse()
    {
        const float value = 0.5f;
        static char big[20000];
        int32_t results[9];
        results[0] = host_->setPin(0, 99, 4, &value);         // no such pin
        results[1] = host_->setPinStreaming(0, 99, 1);        // no such pin
        results[2] = host_->setPin(0, 0, 4, &value);          // an input
        results[3] = host_->setPin(0, 1, 4, nullptr);         // null data
        results[4] = host_->getHostId(8, nullptr);            // null text
        results[5] = host_->createPinIterator(nullptr);
        results[6] = host_->isCloned(nullptr);
        results[7] = host_->sendMessageToGui(MSG_ABUSED, sizeof(big), big); // larger than the batch
        wchar_t name[4] = {L'x', L'x', L'x', L'x'};
        results[8] = host_->getHostId(4, name) == gmpi::MP_OK && name[3] == 0 && std::wcsncmp(name, L"Kor", 3) == 0
                         ? gmpi::MP_OK
                         : gmpi::MP_FAIL;
        return host_->sendMessageToGui(MSG_ABUSED, sizeof(results), results);
    }

    int32_t ReportClones()
    {
        int32_t report[2] = {0, 0};
        host_->isCloned(&report[0]);
        void* found = nullptr;
        if (host_->createCloneIterator(&found) == gmpi::MP_OK && found)
        {
            auto* clones = static_cast<gmpi::IMpCloneIterator*>(found);
            void* plugin = nullptr;
            for (clones->first(); clones->next(&plugin) == gmpi::MP_OK;)
                ++report[1];
            clones->release();
        }
        return host_->sendMessageToGui(MSG_CLONED, sizeof(report), report);
    }

    AudioInPin in_;
    AudioOutPin out_;
    FloatInPin gain_;
    MidiInPin midi_;
    bool throwOnOpen_;
    bool report_;
    bool throwInProcess_ = false;
    bool reportedBeforeOpen_ = false;
    int32_t beforeOpen_[4] = {};
    int32_t gainEvents_[kMaxReported] = {};
    int gainEventCount_ = 0;
};

gmpi::IMpUnknown* createGain()
{
    return static_cast<gmpi::IMpPlugin2*>(new SdkTestGain(false, true));
}

// Reports nothing to its editor part and answers no test's hold: the work of
// its built-in twin alone, for measuring the adapter.
class QuietGain final : public SdkTestGain
{
public:
    QuietGain() : SdkTestGain(false, false) {}
    void process(int32_t count, const gmpi::MpEvent* events) override { MpBase2::process(count, events); }
};

gmpi::IMpUnknown* createQuietGain()
{
    return static_cast<gmpi::IMpPlugin2*>(new QuietGain());
}

gmpi::IMpUnknown* createThrowsOnOpen()
{
    return static_cast<gmpi::IMpPlugin2*>(new SdkTestGain(true, true));
}

gmpi::IMpUnknown* createNothing()
{
    return nullptr;
}

// An object without any plug-in interface.
class Faceless final : public gmpi::IMpUnknown
{
public:
    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override
    {
        *returnInterface = nullptr;
        if (!(iid == gmpi::MP_IID_UNKNOWN))
            return gmpi::MP_NOSUPPORT;
        *returnInterface = this;
        addRef();
        return gmpi::MP_OK;
    }
    int32_t addRef() override { return ++references_; }
    int32_t release() override
    {
        if (--references_ == 0)
        {
            delete this;
            return 0;
        }
        return references_;
    }

private:
    ~Faceless() = default;
    int32_t references_ = 1;
};

gmpi::IMpUnknown* createFaceless()
{
    return new Faceless();
}

gmpi_sdk::MpFactory* factory = gmpi_sdk::MpFactory::Instance();
const int32_t registered[] = {
    factory->RegisterPlugin(gmpi::MP_SUB_TYPE_AUDIO, L"KV Test SDK Gain", &createGain),
    factory->RegisterPlugin(gmpi::MP_SUB_TYPE_AUDIO, L"KV Test SDK Gain Mismatch", &createGain),
    factory->RegisterPlugin(gmpi::MP_SUB_TYPE_AUDIO, L"KV Test SDK Quiet Gain", &createQuietGain),
    factory->RegisterPlugin(gmpi::MP_SUB_TYPE_AUDIO, L"KV Test SDK Gain Own Parameter", &createGain),
    factory->RegisterPlugin(gmpi::MP_SUB_TYPE_AUDIO, L"KV Test SDK Throws On Open", &createThrowsOnOpen),
    factory->RegisterPlugin(gmpi::MP_SUB_TYPE_AUDIO, L"KV Test SDK Refuses", &createNothing),
    factory->RegisterPlugin(gmpi::MP_SUB_TYPE_AUDIO, L"KV Test SDK Faceless", &createFaceless),
};
} // namespace
