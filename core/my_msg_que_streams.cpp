#include "core/my_msg_que_streams.h"

#include "core/InterThreadQueBase.h"

#include <algorithm>
#include <climits>

void my_msg_que_output_stream::Write(const void* data, unsigned size)
{
    if (size > INT_MAX)
    {
        setFailed();
        return;
    }
    que_.pushString(static_cast<int>(size), data);
}

my_msg_que_input_stream::my_msg_que_input_stream(InterThreadQueBase& que, int length)
    : que_(que), remaining_(std::clamp(length, 0, que.readyBytes()))
{
}

void my_msg_que_input_stream::ReadRaw(void* destination, unsigned size)
{
    remaining_ -= que_.popString(static_cast<int>(size), destination);
}

void my_msg_que_input_stream::SkipRaw(unsigned size)
{
    remaining_ -= que_.Skip(static_cast<int>(size));
}

void my_msg_que_input_stream::SkipRest()
{
    if (remaining_ > 0)
        SkipRaw(static_cast<unsigned>(remaining_));
}
