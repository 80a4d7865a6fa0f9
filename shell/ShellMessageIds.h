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
// From the processor: the token under which the patch store is lent in its
// process (an int attribute); a controller of the same process reads and
// writes the store itself. From the controller: the processor is asked to
// send it.
inline constexpr const char* kStore = "KvPatchStore";
inline constexpr const char* kStoreToken = "Token";
inline constexpr const char* kStoreWanted = "KvPatchStoreWanted";
// From a controller that keeps a store of its own (it found none to take):
// the values the host set on it, {uint32 id, float64 value} records in the
// binary attribute kHostValuesAttribute.
inline constexpr const char* kHostValues = "KvHostValues";
inline constexpr const char* kHostValuesAttribute = "Values";
} // namespace ShellMessageIds
