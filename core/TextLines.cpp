#include "core/TextLines.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <string>

#include "core/Cp1252.h"
#include "core/Errors.h"
#include "core/Stream.h"

void StreamWriteLine(TStream& stream, QStringView text) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()) + 2);
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == 13 || u == 10) {
            bytes.push_back(' ');
        } else if (u < 0x80) {
            bytes.push_back(static_cast<char>(u));
        } else {
            const int b = Cp1252CharToByte(u);
            bytes.push_back(b < 0 ? '?' : static_cast<char>(b));
        }
    }
    bytes.push_back('\r');
    bytes.push_back('\n');
    stream.Write(bytes.data(), bytes.size());
}

namespace {

// Decodes bytes [first, last) trimmed of codes <= 32 into line.
void DecodeTrimmed(const std::uint8_t* first, const std::uint8_t* last, QString& line) {
    while (first < last && *first <= 32) ++first;
    while (last > first && last[-1] <= 32) --last;
    const qsizetype n = last - first;
    line.resize(n);
    char16_t* d = reinterpret_cast<char16_t*>(line.data());
    const char16_t* table = Cp1252Table();
    qsizetype i = 0;
    // Sixteen bytes at a time: plain ASCII blocks are widened in one go,
    // blocks with high bytes go through the table.
    for (; i + 16 <= n; i += 16) {
#if defined(__SSE2__)
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + i));
        if (_mm_movemask_epi8(v) == 0) {
            const __m128i zero = _mm_setzero_si128();
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 8), _mm_unpackhi_epi8(v, zero));
            continue;
        }
#else
        std::uint64_t a, b;
        std::memcpy(&a, first + i, 8);
        std::memcpy(&b, first + i + 8, 8);
        if (((a | b) & 0x8080808080808080ull) == 0) {
            for (int k = 0; k < 16; ++k) d[i + k] = first[i + k];
            continue;
        }
#endif
        for (int k = 0; k < 16; ++k) d[i + k] = table[first[i + k]];
    }
    for (; i < n; ++i) d[i] = table[first[i]];
}

// The bytes of a line up to CR; the byte after the CR is dropped.
std::string GatherLineBytes(TStream& stream) {
    std::string bytes;
    for (;;) {
        const auto avail = stream.Peek();
        if (avail.empty()) break;
        const void* p = std::memchr(avail.data(), '\r', avail.size());
        if (p == nullptr) {
            bytes.append(reinterpret_cast<const char*>(avail.data()), avail.size());
            stream.Skip(avail.size());
            continue;
        }
        const std::size_t k = static_cast<std::size_t>(static_cast<const std::uint8_t*>(p) - avail.data());
        bytes.append(reinterpret_cast<const char*>(avail.data()), k);
        stream.Skip(k + 1);
        if (!stream.Peek().empty()) stream.Skip(1);
        break;
    }
    return bytes;
}

}  // namespace

QString StreamReadRawLine(TStream& stream) {
    if (stream.AtEnd()) throw EReadError(QStringLiteral("O arquivo termina antes do esperado."));
    const std::string bytes = GatherLineBytes(stream);
    return Cp1252ToString(bytes.data(), bytes.size());
}

void StreamReadLine(TStream& stream, QString& line) {
    auto avail = stream.Peek();
    if (avail.empty()) {
        line.resize(0);
        return;
    }
    // Fast path: the whole line lies in the buffer.
    const void* cr = std::memchr(avail.data(), '\r', avail.size());
    if (cr != nullptr) {
        const auto* end = static_cast<const std::uint8_t*>(cr);
        DecodeTrimmed(avail.data(), end, line);
        const std::size_t used = static_cast<std::size_t>(end - avail.data()) + 1;
        if (used < avail.size()) {
            stream.Skip(used + 1);
        } else {
            stream.Skip(used);
            if (!stream.Peek().empty()) stream.Skip(1);
        }
        return;
    }
    // The line runs past the buffer: gather it.
    const std::string bytes = GatherLineBytes(stream);
    const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.data());
    DecodeTrimmed(b, b + bytes.size(), line);
}

QString StreamReadLine(TStream& stream) {
    QString line;
    StreamReadLine(stream, line);
    return line;
}

QString StreamReadRequiredLine(TStream& stream) {
    if (stream.AtEnd()) throw EReadError(QStringLiteral("O arquivo termina antes do esperado."));
    return StreamReadLine(stream);
}

void StreamSkipToLine(TStream& stream, QStringView marker) {
    QString line;
    for (;;) {
        if (stream.AtEnd())
            throw EReadError(QStringLiteral("O arquivo termina antes do esperado: \"%1\" não foi encontrado.").arg(marker.toString()));
        StreamReadLine(stream, line);
        if (line.compare(marker.trimmed(), Qt::CaseInsensitive) == 0) return;
    }
}

void StreamExpectLine(TStream& stream, QStringView marker) {
    const std::int64_t at = stream.Position();
    if (stream.AtEnd())
        throw EReadError(QStringLiteral("O arquivo termina antes do esperado: faltou \"%1\".").arg(marker.toString()));
    const QString line = StreamReadLine(stream);
    if (line.compare(marker.trimmed(), Qt::CaseInsensitive) != 0)
        throw EFormatError(QStringLiteral("Esperava-se \"%1\", mas há \"%2\" na posição %3.")
                               .arg(marker.toString(), line)
                               .arg(at));
}

QString LineValueAfterEquals(const QString& line) {
    const qsizetype p = line.indexOf(u'=');
    return p < 0 ? line : line.mid(p + 1);
}

QString StreamReadValue(TStream& stream) { return LineValueAfterEquals(StreamReadRequiredLine(stream)); }

QString LineKey(const QString& line) {
    const qsizetype p = line.indexOf(u'=');
    return p < 0 ? QString() : line.left(p).trimmed();
}
