// Text conversions the storage layer needs at its edges: data files declared in the ANSI code
// page (Windows-1252) become UTF-8 on load, and texts shown by widgets become UTF-16 code units.
#pragma once

#include <string>
#include <string_view>

namespace lumessa {

// Windows-1252 bytes to UTF-8. The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the control characters of the same value, as the system conversion does.
std::string AnsiToUtf8(std::string_view ansi);

// UTF-8 to UTF-16 code units. A malformed sequence (stray continuation byte, overlong form,
// surrogate, value above U+10FFFF, truncated tail) becomes one U+FFFD per bad byte.
std::u16string Utf8ToUtf16(std::string_view utf8);

}  // namespace lumessa
