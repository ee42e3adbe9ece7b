// Hexadecimal and Base64 text (RFC 4648, sections 4 and 8: the standard
// alphabet, "=" padding) and the framing's 4-byte numbers, written once for
// every surface that reads or writes them: the Blob component's text members,
// the framing's XBlob::FromHex and ExtractLongFromBlob, the C library's
// orvo_extract_long, and the command-line tool's formats.
//
// The surfaces disagree on purpose (stored data and scripts rely on each of
// them), so every difference is a rule the caller names: which characters are
// white space, whether white space may split a hexadecimal pair, whether the
// last Base64 group needs its "=" and its padding bits must be zero. The
// decoders take text in pieces of any size, of char or of wchar_t (a BSTR's
// characters; one is never cut to its low byte), and report a fault as a kind
// and a position; each surface words the fault itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvo::codec {

// The characters a decoder skips as white space.
enum class WhiteSpace {
  kBlankTabNewline,  // space, tab, CR, LF
  kCLocale,          // those and VT, FF: what isspace() takes in the C locale
};

// What stopped a decoder; `position` counts characters from 0 over every
// piece fed. Faults without a place of their own (an odd digit count, an
// incomplete last group) are found by Finish and carry the count fed.
struct Fault {
  enum Kind {
    kNone,
    kBadCharacter,       // outside the alphabet, white space not allowed there
    kOddDigitCount,      // hexadecimal: a pair left open at the end
    kMisplacedPadding,   // "=" before the second character of a group, or after a padded group
    kDataAfterPadding,   // an alphabet character after "="
    kNonZeroPaddingBits, // at the group's last data character
    kLoneCharacter,      // a last group of one character
    kIncompletePadding,  // a last group that "=" began but did not fill to four
    kMissingPadding,     // a last group of two or three characters without "="
  };
  Kind kind = kNone;
  uint64_t position = 0;
};

// Upper- or lower-case digits, two per byte, no separators; `out` has room for
// 2 * n characters. Returns 2 * n.
enum class HexCase { kUpper, kLower };
size_t EncodeHex(const uint8_t* in, size_t n, char* out, HexCase letters);
// The same as a string; std::bad_alloc where 2 * n does not fit a size_t.
std::string FormatHex(const uint8_t* in, size_t n, HexCase letters);

struct HexRules {
  WhiteSpace space;
  bool spaceInsidePair;  // false: white space only between pairs, a fault inside one
};

// Two digits (either case) per byte. Feed writes at most (n + 1) / 2 bytes to
// `out` (n / 2 while no pair is open) and returns how many; after a fault it
// writes nothing more and fault() says what and where.
class HexDecoder {
 public:
  explicit HexDecoder(HexRules rules) : rules_(rules) {}
  size_t Feed(const char* in, size_t n, uint8_t* out);
  size_t Feed(const wchar_t* in, size_t n, uint8_t* out);
  // False, with kOddDigitCount, when a pair is left open (or a fault came earlier).
  bool Finish();
  const Fault& fault() const { return fault_; }

 private:
  template <typename Char>
  size_t FeedText(const Char* in, size_t n, uint8_t* out);
  bool Fails(Fault::Kind kind, uint64_t position);

  HexRules rules_;
  int high_ = -1;  // the first digit of an open pair
  uint64_t fed_ = 0;
  Fault fault_;
};

// The framing's hexadecimal rule, which never fails: each pair of the n
// characters is read as the C library's "%hx" reads it (leading white space
// skipped, a sign taken, digits up to the first that is not one, 0 where no
// number is read), and its low 8 bits are a byte; an odd n is read with one
// "0" in front. `out` has room for n / 2 + n % 2 bytes, the number written.
size_t ScanHexPairs(const char* text, size_t n, uint8_t* out);

// Base64 without line breaks, the last group padded with "=". The encoder
// takes bytes in pieces of any size.
class Base64Encoder {
 public:
  // Room needed in `out` for Feed of n bytes or for Finish (n = 0).
  static size_t Room(size_t n) { return (n + 2) / 3 * 4 + 4; }
  size_t Feed(const uint8_t* in, size_t n, char* out);
  size_t Finish(char* out);  // the last group, padded

 private:
  uint8_t held_[3] = {};
  size_t count_ = 0;
};
// The whole text as a string; std::bad_alloc where its length does not fit a size_t.
std::string FormatBase64(const uint8_t* in, size_t n);

struct Base64Rules {
  WhiteSpace space;      // skipped anywhere, after the last group too
  bool paddingRequired;  // false: a last group of two or three characters may leave out its "="
  bool zeroPaddingBits;  // true: the bits below the last byte must be zero (RFC 4648, 3.5)
};

// Groups of four alphabet characters, "=" only at the end of the last group,
// nothing but white space after a padded group. Feed writes at most n + 2
// bytes to `out` (n / 4 * 3 while no group is open) and returns how many;
// after a fault it writes nothing more.
class Base64Decoder {
 public:
  explicit Base64Decoder(Base64Rules rules) : rules_(rules) {}
  size_t Feed(const char* in, size_t n, uint8_t* out);
  size_t Feed(const wchar_t* in, size_t n, uint8_t* out);
  // The bytes of an unpadded last group, where the rules allow one (at most
  // two, to `out`); with a fault, 0 and fault() set.
  size_t Finish(uint8_t* out);
  const Fault& fault() const { return fault_; }

 private:
  template <typename Char>
  size_t FeedText(const Char* in, size_t n, uint8_t* out);
  size_t CloseGroup(uint8_t* out);
  bool Fails(Fault::Kind kind, uint64_t position);

  Base64Rules rules_;
  uint32_t bits_ = 0;
  int count_ = 0;         // alphabet characters of the open group
  int padding_ = 0;       // "=" of the open group
  bool ended_ = false;    // a padded group is closed: only white space may follow
  uint64_t lastData_ = 0; // position of the open group's last alphabet character
  uint64_t fed_ = 0;
  Fault fault_;
};

// The framing's reading of a 4-byte big-endian number at the end of a buffer:
// the `available` bytes at p (any count; those past 4 are not read) and zero
// for each byte missing. Returns the number; *taken is min(available, 4).
uint32_t LoadLongZeroFilled(const uint8_t* p, size_t available, size_t* taken);

}  // namespace orvo::codec
