#pragma once
// What every fuzz target shares: turning raw bytes into UTF-16 text, the Qt
// application that fonts and layout need, and a check that ends the run loudly.
#include "platform/text/Range.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velkin::fuzz {

// The bytes as UTF-8; the never-valid lead byte 0xFF followed by two bytes is one
// raw UTF-16 unit (big-endian), so that lone surrogates and any other unit can be
// reached; every other malformed byte becomes U+FFFD.
U16String text(const uint8_t* data, size_t size);

inline std::string_view bytes(const uint8_t* data, size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// Creates the offscreen application once (fonts and text layout need it).
void ensureApplication();

// Prints the failure and aborts, so that the engine keeps the input.
[[noreturn]] void fail(const char* what, const char* file, int line);

} // namespace velkin::fuzz

#define FUZZ_CHECK(condition) \
    ((condition) ? (void)0 : ::velkin::fuzz::fail(#condition, __FILE__, __LINE__))
