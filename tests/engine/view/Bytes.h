#pragma once
// Hand-built bytes of the engine's binary formats, for golden files.
#include <cstdint>
#include <cstring>
#include <string>

struct Bytes {
    std::string b;
    Bytes& line(const std::string& text) { b += text; b += "\r\n"; return *this; }
    Bytes& u8(std::uint8_t v) { b.push_back(static_cast<char>(v)); return *this; }
    Bytes& i32(std::int32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF));
        return *this;
    }
    Bytes& i64(std::int64_t v) {
        for (int i = 0; i < 8; ++i) b.push_back(static_cast<char>((static_cast<std::uint64_t>(v) >> (8 * i)) & 0xFF));
        return *this;
    }
    Bytes& f64(double v) {
        std::uint64_t u;
        std::memcpy(&u, &v, 8);
        return i64(static_cast<std::int64_t>(u));
    }
    Bytes& point(double x, double y, double z = 0, std::int64_t key = 0) {
        return line("POINT").i64(key).f64(x).f64(y).f64(z).line("EPOINT");
    }
};
