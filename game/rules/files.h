// Whole-file writes that cannot tear: the bytes go to a temporary file in the
// same directory, which then replaces the old file in one rename.
#pragma once

#include <cstddef>

// Creates the "data" directory when missing (errors ignored).
void ensure_data_dir();
// Replaces path with exactly these bytes; false when it could not be written
// (the old file, if any, is then left as it was).
bool write_file_atomic(const char* path, const void* data, std::size_t len);
