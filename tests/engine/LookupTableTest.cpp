#include "engine/runtime/LookupTable.h"
#include "engine/runtime/SharedOscWaveTable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace
{
LookupTable* request(const std::wstring& name, int sampleRate, unsigned long size, SharedLookupScope scope,
                     const void* owner, bool integer = false, bool create = true)
{
    LookupTable* table = nullptr;
    CreateSharedLookup(name, &table, sampleRate, size, integer, create, scope, owner);
    return table;
}

int instanceA = 0;
int instanceB = 0;
} // namespace

TEST(SharedLookup, GlobalTablesAreSharedAcrossInstancesAndPerInstanceTablesAreNot)
{
    LookupTable* globalA = request(L"test shared", 44100, 514, SLS_GLOBAL, &instanceA);
    LookupTable* globalB = request(L"test shared", 44100, 514, SLS_GLOBAL, &instanceB);
    ASSERT_NE(globalA, nullptr);
    EXPECT_EQ(globalA, globalB);

    LookupTable* localA = request(L"test shared", 44100, 514, SLS_PER_INSTANCE, &instanceA);
    LookupTable* localB = request(L"test shared", 44100, 514, SLS_PER_INSTANCE, &instanceB);
    ASSERT_NE(localA, nullptr);
    ASSERT_NE(localB, nullptr);
    EXPECT_NE(localA, localB);
    EXPECT_NE(localA, globalA);
    EXPECT_EQ(request(L"test shared", 44100, 514, SLS_PER_INSTANCE, &instanceA), localA);

    EXPECT_NE(request(L"test shared", 48000, 514, SLS_GLOBAL, nullptr), globalA);
}

TEST(SharedLookup, NewTablesAreZeroedAlignedAndOfTheAskedType)
{
    auto* floats = dynamic_cast<ULookup*>(request(L"test layout", 1, 514, SLS_GLOBAL, nullptr));
    auto* ints = dynamic_cast<ULookup_Integer*>(request(L"test layout int", 1, 3, SLS_GLOBAL, nullptr, true));
    ASSERT_NE(floats, nullptr);
    ASSERT_NE(ints, nullptr);
    EXPECT_EQ(floats->GetSize(), 514);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(floats->GetBlock()) % 32, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(ints->GetBlock()) % 32, 0u);
    EXPECT_FALSE(floats->IsFilled());
    for (int i = 0; i < 514; ++i)
        ASSERT_EQ(floats->GetValueIndexed2(i), 0.0f);

    ints->SetValue(2, -7);
    ints->SetValue(3, 99); // outside: ignored
    EXPECT_EQ(ints->GetValueIndexed2(2), -7);
}

TEST(SharedLookup, AnotherSizeOrElementTypeNeverGetsTheExistingTable)
{
    LookupTable* small = request(L"test sizes", 44100, 16, SLS_GLOBAL, nullptr);
    LookupTable* large = request(L"test sizes", 44100, 1024, SLS_GLOBAL, nullptr);
    LookupTable* integer = request(L"test sizes", 44100, 16, SLS_GLOBAL, nullptr, true);
    ASSERT_NE(small, nullptr);
    ASSERT_NE(large, nullptr);
    ASSERT_NE(integer, nullptr);
    EXPECT_NE(small, large);
    EXPECT_EQ(large->GetSize(), 1024);
    EXPECT_NE(integer, small);
    EXPECT_NE(dynamic_cast<ULookup_Integer*>(integer), nullptr);

    // Finding without creating: any existing table that is large enough.
    EXPECT_NE(request(L"test sizes", 44100, 100, SLS_GLOBAL, nullptr, false, false), nullptr);
    EXPECT_EQ(request(L"test sizes", 44100, 100, SLS_GLOBAL, nullptr, false, false)->GetSize(), 1024);
    EXPECT_EQ(request(L"test sizes", 44100, 2048, SLS_GLOBAL, nullptr, false, false), nullptr);
}

TEST(SharedLookup, MissingTablesAndImpossibleSizesGiveNull)
{
    const size_t before = SharedLookupCount();
    EXPECT_EQ(request(L"test never made", 44100, 10, SLS_GLOBAL, nullptr, false, false), nullptr);
    EXPECT_EQ(request(L"test zero", 44100, 0, SLS_GLOBAL, nullptr), nullptr);
    EXPECT_EQ(request(L"test huge", 44100, 1ul << 40, SLS_GLOBAL, nullptr), nullptr);
    EXPECT_EQ(SharedLookupCount(), before);

    CreateSharedLookup(L"test no result", nullptr, 1, 1, false, true, SLS_GLOBAL, nullptr);
    EXPECT_EQ(SharedLookupCount(), before);
}

TEST(SharedLookup, TinyValuesAreFlushedToZero)
{
    ULookup table;
    ASSERT_TRUE(table.SetSize(6));
    const float values[] = {1e-21f, -1e-20f, -2e-20f, 1e-20f, 3e-20f, 0.25f};
    for (int i = 0; i < 6; ++i)
        table.SetValue(i, values[i]);
    for (int i = 0; i < 6; ++i)
    {
        const double v = values[i];
        const float expected = (v > -1e-20 && v < 1e-20) ? 0.0f : values[i];
        EXPECT_EQ(table.GetValueIndexed2(i), expected) << i;
    }
    EXPECT_EQ(table.GetValueIndexed2(1), 0.0f);
    EXPECT_EQ(table.GetValueIndexed2(2), -2e-20f);

    EXPECT_FALSE(table.SetSize(-1));
    EXPECT_EQ(table.GetSize(), 0);
}

TEST(SharedLookup, ConcurrentRequestersNeverSeeAHalfFilledTable)
{
    constexpr int threads = 8;
    constexpr int size = 4096;
    // Tables live for the process: each run asks for a table of its own.
    static int run = 0;
    const std::wstring name = L"test concurrent fill " + std::to_wstring(++run);
    std::atomic<int> fills{0};
    std::atomic<int> badReads{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
    {
        workers.emplace_back([&] {
            auto* table = static_cast<ULookup*>(request(name, 96000, size, SLS_GLOBAL, nullptr));
            table->FillOnce([&] {
                ++fills;
                for (int i = 0; i < size; ++i)
                {
                    table->SetValue(i, std::sqrt(static_cast<float>(i + 1)));
                    if (i == size / 2)
                        std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            });
            for (int i = 0; i < size; ++i)
            {
                if (table->GetValueIndexed2(i) != std::sqrt(static_cast<float>(i + 1)))
                    ++badReads;
            }
        });
    }
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(fills.load(), 1);
    EXPECT_EQ(badReads.load(), 0);
}

TEST(SharedOscWaveTable, OnlyTheFirstCreateFillsAndRecordsTheSampleRate)
{
    auto sine = [](ULookup& table) {
        for (int i = 0; i < table.GetSize(); ++i)
            table.SetValue(i, static_cast<float>(std::sin(i * 2.0 * M_PI / 512.0)));
    };
    // Tables live for the process: each run asks for a table of its own.
    static int run = 0;
    const std::wstring name = L"test osc sine " + std::to_wstring(++run);
    SharedOscWaveTable first;
    EXPECT_EQ(first.GetSampleRate(), -99);
    EXPECT_TRUE(first.Create(name, 44100, sine));
    EXPECT_EQ(first.GetSampleRate(), 44100);
    ASSERT_NE(first.GetTable(), nullptr);
    EXPECT_EQ(first.GetTable()->GetSize(), 517);
    EXPECT_TRUE(first.GetTable()->IsFilled());
    EXPECT_NEAR(first.GetTable()->GetValueIndexed2(128), 1.0f, 1e-6);

    int secondFills = 0;
    EXPECT_FALSE(first.Create(name, 44100, [&](ULookup&) { ++secondFills; }));
    EXPECT_EQ(secondFills, 0);
    EXPECT_EQ(first.GetSampleRate(), 44100);

    SharedOscWaveTable other;
    EXPECT_FALSE(other.Create(name, 44100, sine));
    EXPECT_EQ(other.GetTable(), first.GetTable());
}
