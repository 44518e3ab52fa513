// SHA-256 of a file through the system's BCrypt provider.
#pragma once

#include <cstdint>

#include <windows.h>

#include "base/text.h"

// 64 lowercase hex digits into hex (and the size read, when asked); false when
// the file cannot be opened, read or hashed, and then hex is untouched.
bool HashFileSha256(std::u16string_view path, WideBuffer& hex, uint64_t* size = nullptr);
// The same for a file already open for reading, from its start.
bool HashOpenFileSha256(HANDLE file, WideBuffer& hex, uint64_t* size = nullptr);
