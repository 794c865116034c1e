// The characters of a flash file as its readers take them: one at a time,
// with a look ahead as far as the dialect detection needs, the byte offset
// and line of each, and the numbers of the formats.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ByteSource.h"

namespace zandor {

class FlashInput {
public:
    static constexpr int kEnd = -1;

    explicit FlashInput(platform::ByteSource& source) : source(source) {}

    // The character k places ahead (0: the next), kEnd beyond the end.
    int Peek(std::size_t k = 0);
    int Get();
    // Offset and 1-based line of the next character.
    std::int64_t Offset() const { return offset; }
    std::int64_t Line() const { return line; }

    // A number: an optional "-" and digits (with at most one "." when
    // points are allowed), "!" and line breaks between them skipped; the
    // character after it is left for the caller.  Leading zeros are dropped
    // from the digits.
    struct Number {
        bool negative = false;
        bool point = false;
        std::string digits;  // without the point
        std::size_t pointAt = 0;
        char lastDigit = 0;  // the last digit as written, 0 when none
        bool Missing() const { return lastDigit == 0; }
    };
    // False when the digits run past maxDigits significant ones.
    bool ReadNumber(Number& number, bool allowPoint, std::size_t maxDigits = 18);

private:
    bool Fill(std::size_t needed);

    platform::ByteSource& source;
    std::vector<char> buffer;
    std::size_t position = 0;
    std::int64_t offset = 0;
    std::int64_t line = 1;
};

// Whether a byte can stand in a text file: printable ASCII, tab, line breaks
// and form feed.
inline bool IsTextByte(int c) { return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

}  // namespace zandor
