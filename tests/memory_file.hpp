// Anonymous files for the tests' streams, so that the segmentation runs on
// the same read and write path as the program. One implementation per
// system, like the program's own platform layer.
#pragma once

#include "platform/platform.hpp"

#include <cstdint>
#include <string>
#include <string_view>

// An empty file open for reading and writing, gone once closed.
FileHandle anonymous_file();

// Replaces the file's contents with `bytes` and goes back to its start.
void fill_file(FileHandle file, std::string_view bytes);

// Everything written to the file.
std::string file_contents(FileHandle file);

// Where the next read or write would start.
std::uint64_t file_position(FileHandle file);
