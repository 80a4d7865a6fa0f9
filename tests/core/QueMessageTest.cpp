#include "core/QueMessage.h"
#include "core/StagingMemoryBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace
{
// Up to four characters, the first in the top byte, missing ones zero.
int32_t Pack(const std::string& name)
{
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | (i < static_cast<int>(name.size()) ? static_cast<unsigned char>(name[i]) : 0u);
    return static_cast<int32_t>(value);
}

std::vector<unsigned char> Record(int32_t handle, int32_t id, int32_t length, int payloadBytes)
{
    std::vector<unsigned char> bytes(12 + static_cast<size_t>(payloadBytes), 0);
    std::memcpy(bytes.data(), &handle, 4);
    std::memcpy(bytes.data() + 4, &id, 4);
    std::memcpy(bytes.data() + 8, &length, 4);
    return bytes;
}
} // namespace

TEST(QueMessage, EveryIdIsItsCharactersPackedFirstCharacterHighest)
{
    const std::vector<std::pair<std::string, int32_t>> ids = {
        {"ppc", QueMessageId::ppc},   {"CCID", QueMessageId::CCID}, {"CCSX", QueMessageId::CCSX},
        {"meta", QueMessageId::meta}, {"setc", QueMessageId::setc}, {"setp", QueMessageId::setp},
        {"hppc", QueMessageId::hppc}, {"noti", QueMessageId::noti}, {"sdk", QueMessageId::sdk},
        {"lern", QueMessageId::lern}, {"pat2", QueMessageId::pat2}, {"prnt", QueMessageId::prnt},
        {"mbox", QueMessageId::mbox}, {"fade", QueMessageId::fade}, {"rest", QueMessageId::rest},
        {"refr", QueMessageId::refr},
    };
    for (const auto& [name, id] : ids)
        EXPECT_EQ(id, Pack(name)) << name;
}

TEST(QueMessage, AHeaderStandsInTheStreamWithItsIdCharactersReversed)
{
    StagingMemoryBuffer buffer;
    StagingMemoryBufferOutputStream out(&buffer);
    const int32_t payload = 42;
    ASSERT_TRUE(WriteQueMessage(out, -4, QueMessageId::CCID, &payload, 4));
    ASSERT_EQ(buffer.used_, 16u);
    EXPECT_EQ(std::memcmp(buffer.data_ + 4, "DICC", 4), 0);

    StagingMemoryBufferInputStream in(buffer);
    QueMessageHeader header;
    ASSERT_TRUE(header.Read(in));
    EXPECT_EQ(header.handle_, -4);
    EXPECT_EQ(header.id_, QueMessageId::CCID);
    EXPECT_EQ(header.length_, 4);
    int32_t value = 0;
    in >> value;
    EXPECT_EQ(value, 42);

    // A record without room for all of it leaves nothing behind.
    buffer.used_ = StagingMemoryBuffer::kCapacity - 20;
    EXPECT_FALSE(WriteQueMessage(out, 1, QueMessageId::prnt, "123456789", 9));
    EXPECT_EQ(buffer.used_, StagingMemoryBuffer::kCapacity - 20);
}

TEST(QueMessage, OnlyRunsOfWholeRecordsAreWellFormed)
{
    auto bytes = Record(1, QueMessageId::ppc, 3, 3);
    const auto second = Record(2, QueMessageId::fade, 0, 0);
    bytes.insert(bytes.end(), second.begin(), second.end());
    const int size = static_cast<int>(bytes.size());

    EXPECT_TRUE(QueMessagesAreWellFormed(bytes.data(), size));
    EXPECT_TRUE(QueMessagesAreWellFormed(nullptr, 0));
    EXPECT_FALSE(QueMessagesAreWellFormed(bytes.data(), size - 1));
    EXPECT_FALSE(QueMessagesAreWellFormed(bytes.data(), 14));
    const auto negative = Record(1, QueMessageId::ppc, -1, 0);
    EXPECT_FALSE(QueMessagesAreWellFormed(negative.data(), 12));
    const auto huge = Record(1, QueMessageId::ppc, INT32_MAX, 4);
    EXPECT_FALSE(QueMessagesAreWellFormed(huge.data(), 16));
}
