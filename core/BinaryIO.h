#pragma once
// Binary values of the engine's formats: 1-byte flags, 4-byte
// little-endian integers, 8-byte little-endian integers and doubles.
// Every read is bounded: a stream that ends first raises EReadError.
#include <bit>
#include <cstdint>
#include <cstring>

#include "core/Errors.h"
#include "core/Stream.h"

namespace binio_detail {
template <typename T>
inline T FromLittle(T v) {
    if constexpr (std::endian::native == std::endian::little) return v;
    unsigned char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    for (std::size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(b[i], b[sizeof(T) - 1 - i]);
    std::memcpy(&v, b, sizeof(T));
    return v;
}
template <typename T>
inline T ReadLE(TStream& s) {
    T v;
    const auto avail = s.Peek();
    if (avail.size() >= sizeof(T)) {
        std::memcpy(&v, avail.data(), sizeof(T));
        s.Skip(sizeof(T));
    } else {
        s.ReadBuffer(&v, sizeof(T));
    }
    return FromLittle(v);
}
template <typename T>
inline void WriteLE(TStream& s, T v) {
    v = FromLittle(v);
    s.Write(&v, sizeof(T));
}
}  // namespace binio_detail

inline std::uint8_t ReadByte(TStream& s) { return binio_detail::ReadLE<std::uint8_t>(s); }
inline bool ReadBool(TStream& s) { return ReadByte(s) != 0; }
inline std::int32_t ReadInt32(TStream& s) { return binio_detail::ReadLE<std::int32_t>(s); }
inline std::int64_t ReadInt64(TStream& s) { return binio_detail::ReadLE<std::int64_t>(s); }
inline double ReadDouble(TStream& s) {
    return std::bit_cast<double>(binio_detail::ReadLE<std::uint64_t>(s));
}

inline void WriteByte(TStream& s, std::uint8_t v) { s.Write(&v, 1); }
inline void WriteBool(TStream& s, bool v) { WriteByte(s, v ? 1 : 0); }
inline void WriteInt32(TStream& s, std::int32_t v) { binio_detail::WriteLE(s, v); }
inline void WriteInt64(TStream& s, std::int64_t v) { binio_detail::WriteLE(s, v); }
inline void WriteDouble(TStream& s, double v) { binio_detail::WriteLE(s, std::bit_cast<std::uint64_t>(v)); }

// Checks a stored count before a reader allocates or loops on it: it must
// not be negative, and count * minBytesEach must fit in the bytes left.
// Raises EFormatError naming what was counted.
inline void CheckCount(const TStream& s, std::int64_t count, std::int64_t minBytesEach, const char* what) {
    const std::int64_t left = s.Remaining();
    if (count < 0 || (minBytesEach > 0 && count > left / minBytesEach))
        throw EFormatError(QStringLiteral("Invalid %1 count %2 at offset %3")
                               .arg(QLatin1StringView(what))
                               .arg(count)
                               .arg(s.Position()));
}
