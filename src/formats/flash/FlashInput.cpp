#include "formats/flash/FlashInput.h"

#include <algorithm>

namespace zandor {

namespace {
constexpr std::size_t kChunk = 1 << 16;
}

bool FlashInput::Fill(std::size_t needed) {
    if (position > kChunk && position * 2 > buffer.size()) {
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(position));
        position = 0;
    }
    while (buffer.size() - position < needed) {
        const std::size_t old = buffer.size();
        buffer.resize(old + kChunk);
        const std::size_t got = source.Read(buffer.data() + old, kChunk);
        buffer.resize(old + got);
        if (got == 0) return false;
    }
    return true;
}

int FlashInput::Peek(std::size_t k) {
    if (buffer.size() - position <= k && !Fill(k + 1)) return kEnd;
    return static_cast<unsigned char>(buffer[position + k]);
}

int FlashInput::Get() {
    const int c = Peek();
    if (c == kEnd) return kEnd;
    ++position;
    ++offset;
    if (c == '\n') ++line;
    return c;
}

bool FlashInput::ReadNumber(Number& number, bool allowPoint, std::size_t maxDigits) {
    number = Number{};
    if (Peek() == '-') {
        number.negative = true;
        Get();
    }
    bool tooLong = false;
    for (;;) {
        const int c = Peek();
        if (c == '!' || c == '\r' || c == '\n') {
            Get();
        } else if (c >= '0' && c <= '9') {
            Get();
            number.lastDigit = static_cast<char>(c);
            if (number.digits.empty() && c == '0' && !number.point) continue;
            if (number.digits.size() >= maxDigits) {
                tooLong = true;
            } else {
                number.digits += static_cast<char>(c);
            }
        } else if (c == '.' && allowPoint && !number.point) {
            Get();
            number.point = true;
            number.pointAt = number.digits.size();
        } else {
            break;
        }
    }
    return !tooLong;
}

}  // namespace zandor
