#include "engine/oversampling/ug_oversampler_io.h"

#include <algorithm>
#include <string>

#include "engine/runtime/IKvAudioMaster.h"
#include "engine/graph/USampBlock.h"

namespace
{
// Long enough for the slowest IIR section to die away far below the tolerance.
constexpr int kSteadyRun = 8192;
// The same in outer samples, for high factors.
constexpr int kSteadyOuterSamples = 512;
} // namespace

ug_oversampler_io::ug_oversampler_io(ug_oversampler* oversampler, int factor, int filterSetting, bool up,
                                     bool interpolates)
    : oversampler_(oversampler), factor_(factor < 1 ? 1 : factor), up_(up), interpolates_(interpolates),
      filterSetting_(filterSetting), fir_(filterSetting > 10), sections_(OversamplerFilter::SectionCount(filterSetting))
{
    flags_ |= kBorderFlag | UGF_NEVER_SUSPEND;
    SetProcessFunction(&ug_base::process_nothing);

    // The filter's answer to a constant input of 1, phase by phase: a static
    // signal has settled when the output comes this close to it.
    steadyGains_.assign(interpolates_ ? static_cast<size_t>(factor_) : 1u, 1.0f);
    if (fir_)
    {
        // A FIR has settled once its history is full of the input.
        OversamplerFir fir;
        fir.Init(filterSetting_, factor_);
        const int run = (fir.Taps() / factor_ + 2) * factor_;
        for (int n = 0; n < run; ++n)
        {
            const int phase = n % factor_;
            if (!interpolates_)
                fir.Push(1.0f);
            else if (phase == 0)
                fir.Push(1.0f);
            if (interpolates_ && n + factor_ >= run)
                steadyGains_[static_cast<size_t>(phase)] = fir.Interpolate(phase);
        }
        if (!interpolates_)
            steadyGains_[0] = fir.Decimate();
        return;
    }
    // The IIR's time constants scale with the factor.
    const int run = std::max(kSteadyRun, kSteadyOuterSamples * factor_) / factor_ * factor_;
    OversamplerFilter filter;
    filter.Init(factor_, sections_);
    for (int n = 0; n < run; ++n)
    {
        const int phase = n % factor_;
        if (interpolates_)
            steadyGains_[static_cast<size_t>(phase)] = filter.Process(phase == 0 ? static_cast<float>(factor_) : 0.0f);
        else
            steadyGains_[0] = filter.Process(1.0f);
    }
}

UPlug* ug_oversampler_io::AddBorderPin(UPlug* outerPin, EDirection direction)
{
    auto* pin = new UPlug(this, direction, static_cast<EPlugDataType>(outerPin->datatype_));
    if (direction == DR_OUT)
        pin->CreateBuffer();
    AddPlug(pin);
    outerPins_.push_back(outerPin);
    filters_.emplace_back();
    filters_.back().Init(factor_, sections_);
    firs_.emplace_back();
    if (fir_)
    {
        if (!sharedPlain_)
            ShareFirTables();
        firs_.back().Init(filterSetting_, factor_, sharedPlain_, sharedPolyphase_);
    }
    settle_.push_back(0);
    return pin;
}

void ug_oversampler_io::ShareFirTables()
{
    // One pair of tables per tap count and factor for every oversampler of
    // the engine; the first to ask fills them.
    const int taps = OversamplerFir::TapCount(filterSetting_, factor_);
    const std::wstring suffix = std::to_wstring(taps) + L" taps x" + std::to_wstring(factor_);
    const std::wstring plainName = L"Oversampler-SINC " + suffix;
    const std::wstring polyphaseName = L"Oversampler-SINC-PP " + suffix;
    void* plain = nullptr;
    void* polyphase = nullptr;
    int plainEmpty = 0;
    int polyphaseEmpty = 0;
    const int bytes = taps * static_cast<int>(sizeof(float));
    if (allocateSharedMemory(plainName.c_str(), &plain, 0.0f, bytes, plainEmpty, SLS_PER_INSTANCE) != 0 ||
        allocateSharedMemory(polyphaseName.c_str(), &polyphase, 0.0f, bytes, polyphaseEmpty, SLS_PER_INSTANCE) != 0 ||
        !plain || !polyphase)
        return;
    if (plainEmpty || polyphaseEmpty)
        OversamplerFir::FillTables(taps, factor_, static_cast<float*>(plain), static_cast<float*>(polyphase));
    sharedPlain_ = static_cast<const float*>(plain);
    sharedPolyphase_ = static_cast<const float*>(polyphase);
}

void ug_oversampler_io::BeginOuterPiece(int outerBlockPosition, int64_t innerClock)
{
    outerPosition_ = outerBlockPosition;
    innerStart_ = innerClock;
}

void ug_oversampler_io::LocateOuter(int64_t innerTime, int& outerIndex, int& phase) const
{
    const int64_t delta = std::max<int64_t>(0, innerTime - innerStart_);
    outerIndex = outerPosition_ + static_cast<int>(delta / factor_);
    phase = static_cast<int>(delta % factor_);
}

void ug_oversampler_io::OnOversamplerResume()
{
    for (int& counter : settle_)
    {
        if (counter > 0)
            counter = blockSize_;
    }
}

void ug_oversampler_io::ResetFilters()
{
    for (OversamplerFilter& filter : filters_)
        filter.Reset();
    for (OversamplerFir& fir : firs_)
        fir.Reset();
}

int ug_oversampler_io::Open()
{
    if (audioMaster_)
        silence_.assign(static_cast<size_t>(std::max(1, audioMaster_->BlockSize())), 0.0f);
    ResetFilters();
    blockSize_ = audioMaster_ ? std::max(1, audioMaster_->BlockSize()) : 1;
    // Audio is taken to stream until its source says otherwise.
    for (size_t i = 0; i < settle_.size(); ++i)
        settle_[i] = plugs_[i]->datatype_ == DT_FSAMPLE ? kStreaming : 0;
    return ug_base::Open();
}

bool ug_oversampler_io::RelayBlocks(size_t pin, bool writesOuter, USampBlock*& target, const float*& in) const
{
    UPlug* inner = plugs_[pin];
    if (inner->datatype_ != DT_FSAMPLE || settle_[pin] == 0)
        return false;
    target = (writesOuter ? outerPins_[pin] : inner)->GetSampleBlock();
    if (target == nullptr)
        return false;
    const USampBlock* source = (writesOuter ? inner : outerPins_[pin])->GetSampleBlock();
    in = source && source->GetBlock() ? source->GetBlock() : silence_.data();
    return true;
}

bool ug_oversampler_io::FinishSettling(size_t pin, bool settling, float* block, float exact)
{
    if (!settling || settle_[pin] > 0)
        return false;
    settle_[pin] = 0;
    if (block)
        std::fill(block, block + blockSize_, exact);
    return true;
}

bool ug_oversampler_io::AllQuiet() const
{
    return std::all_of(settle_.begin(), settle_.end(), [](int counter) { return counter == 0; });
}

void ug_oversampler_io::AnnounceAudioStreaming(int64_t time)
{
    for (UPlug* pin : plugs_)
    {
        if (pin->datatype_ == DT_FSAMPLE && pin->direction_ == DR_OUT)
            pin->TransmitState(time, ST_STREAMING);
    }
}
