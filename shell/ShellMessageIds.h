#pragma once
// The messages the processor and the controller pass through their
// connection points.

namespace ShellMessageIds
{
// Records both ways: the bytes are in the binary attribute kRecords.
inline constexpr const char* kRecords = "BinaryMessage";
inline constexpr const char* kRecordsAttribute = "MyData";
// From the controller's user-interface tick: the processor sends the engine's
// batches it holds (each as a kRecords message). It carries nothing.
inline constexpr const char* kPollBatches = "KvPollBatches";
// From the controller: values the host set on it (KvHostIntent's records in
// the binary attribute kHostValuesAttribute), for the processor's state
// until a block brings them.
inline constexpr const char* kHostValues = "KvHostValues";
inline constexpr const char* kHostValuesAttribute = "Values";
} // namespace ShellMessageIds
