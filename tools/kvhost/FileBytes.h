#pragma once
// Whole-file reads and writes for the host's inputs and outputs, bounded in
// size, with a message that names the file on failure.

#include <cstddef>
#include <string>
#include <vector>

bool ReadFileBytes(const std::string& path, std::size_t maxBytes, std::vector<char>& bytes, std::string& error);
bool WriteFileBytes(const std::string& path, const std::vector<char>& bytes, std::string& error);
