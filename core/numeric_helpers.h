#pragma once
// Small numeric helpers: flag bits, time conversions, byte order, denormals.

#include <cstdint>

// Sets or clears the mask bits; true when the flags were already so.
bool SetBit(int& flags, int mask, bool on);
// Milliseconds to samples, truncating toward zero; saturates instead of overflowing.
int msToSamples(int ms, int sampleRate);
// Samples to milliseconds, rounded; 0 for a sample rate of 0 or below.
int SampleToMs(int64_t samples, int sampleRate);
// Reverses the byte order of count consecutive 32-bit words in place.
void reverse(void* data, int count);
// True for the smallest denormals only (bits 20-30 clear, some of bits 0-19 set).
bool is_denormal(float value);
