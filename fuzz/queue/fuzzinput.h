#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// Reads the fuzzer's bytes as a little script; past the end every read gives zeros.
class FuzzInput
{
public:
    FuzzInput(const uint8_t* data, size_t size) : p(data), end(data + size) {}

    bool atEnd() const { return p >= end; }
    size_t remaining() const { return size_t(end - p); }

    uint8_t byte() { return p < end ? *p++ : 0; }
    uint16_t word()
    {
        const uint16_t lo = byte();
        return uint16_t(lo | (byte() << 8));
    }
    int32_t int32()
    {
        const uint32_t lo = word();
        return int32_t(lo | (uint32_t(word()) << 16));
    }
    // A length-prefixed (16 bits) byte string, cut at the end of the input.
    QByteArray bytes() { return take(word()); }
    // A short length-prefixed (8 bits) string.
    QByteArray shortBytes() { return take(byte()); }

private:
    QByteArray take(size_t length)
    {
        const size_t n = qMin(length, remaining());
        const QByteArray b(reinterpret_cast<const char*>(p), int(n));
        p += n;
        return b;
    }

    const uint8_t* p;
    const uint8_t* end;
};
