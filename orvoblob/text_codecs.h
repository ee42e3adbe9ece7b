// The text forms of a Blob's bytes: hexadecimal digits, Base64 (RFC 4648,
// section 4: the standard alphabet with padding) and UTF-8 (RFC 3629). Plain
// functions over byte and wide-character strings, without COM, so that the
// parsers can be tested and fuzzed on their own. Hex and Base64 are the base
// layer's codecs (base/text_codecs.h) with the rules below.
//
// Wide strings are the platform's wchar_t text, as a BSTR holds it: UTF-16 on
// Windows, UTF-32 elsewhere. Positions in error messages count from 1, in
// wide characters for text and in bytes for byte strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvo {

// Upper-case hexadecimal digits, two per byte, no separators. Both formatters
// throw std::bad_alloc when the text's length would not fit a std::size_t.
std::string FormatHex(const uint8_t* bytes, std::size_t n);

// Reads hexadecimal digits in either case, two per byte. White space (blank,
// tab, CR, LF, VT, FF) is ignored between byte pairs. Fails with
// "Invalid hexadecimal text at position N" at any other character (white space
// inside a pair included) and with "Hexadecimal text has an odd number of
// digits". On failure `out` is unspecified and `error` holds the message.
bool ParseHex(std::wstring_view text, std::vector<uint8_t>& out, std::string& error);

// Base64 with padding, no line breaks.
std::string FormatBase64(const uint8_t* bytes, std::size_t n);

// Reads Base64 text: the standard alphabet in groups of four characters, the
// last group padded with "=" to its full length. White space is ignored
// anywhere (MIME text breaks its lines). Refused as malformed: characters
// outside the alphabet, "=" anywhere but at the end of the last group, a
// character count that is not a multiple of four, and padding bits that are
// not zero (RFC 4648, 3.5), so that every accepted text has exactly one
// reading.
bool ParseBase64(std::wstring_view text, std::vector<uint8_t>& out, std::string& error);

// Encodes wide text as UTF-8. Fails at a character that is no Unicode scalar
// value (an unpaired UTF-16 surrogate; in UTF-32 a surrogate code point or a
// value above U+10FFFF): "Invalid character in text at position N".
bool WideToUtf8(std::wstring_view text, std::vector<uint8_t>& out, std::string& error);

// Decodes UTF-8 into wide text. Only well-formed UTF-8 (RFC 3629, section 4)
// is accepted; an overlong form, an encoded surrogate, a value above U+10FFFF,
// a stray continuation byte or a cut sequence fails with
// "Invalid UTF-8 text at byte N".
bool Utf8ToWide(const uint8_t* bytes, std::size_t n, std::wstring& out, std::string& error);

}  // namespace orvo
