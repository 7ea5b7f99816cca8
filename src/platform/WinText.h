#pragma once
// Windows names in the program's text: the conversions between UTF-16 and the UTF-8 the
// core works in, and the long-path form of a folder. Plain code, built on every system
// so that its tests run everywhere.

#include <string>
#include <string_view>

namespace qvl::platform {

// UTF-16 to WTF-8: UTF-8, except that a surrogate without its pair (which Windows
// allows in names) becomes the three bytes UTF-8 would give its code point, so that
// every name comes back unchanged from utf16FromWtf8.
std::string wtf8FromUtf16(std::u16string_view text);
// The inverse: WTF-8 (so UTF-8 too) to UTF-16. A byte that starts no well-formed
// sequence becomes U+FFFD.
std::u16string utf16FromWtf8(std::string_view text);

// The form of a path that Windows opens past MAX_PATH: "\\?\C:\..." for a drive path,
// "\\?\UNC\server\share\..." for a network path. That form turns off the system's own
// tidying, so "/" becomes "\" first. A short path, a relative one and one already in
// that form are returned as they are, but for the "/".
std::u16string longPath(std::u16string_view path);

} // namespace qvl::platform
