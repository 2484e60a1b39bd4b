#pragma once
// Outside readers of saved images, for the metafile and save-image tests:
// a small record lister for EMF and WMF files (written from the formats'
// published layouts, independent of the writer), and the command-line
// tools that convert and compare pictures (emf2svg, libwmf, librsvg,
// ImageMagick, file).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

struct TToolRun {
    int Code = -1;
    QString Out, Err;
};

inline TToolRun RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    TToolRun r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        r.Err = program + QStringLiteral(" did not finish");
        return r;
    }
    r.Code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.Out = QString::fromUtf8(p.readAllStandardOutput());
    r.Err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

inline QByteArray ReadAll(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// "W H" of a picture file, by ImageMagick.
inline QString Identify(const QString& file) {
    return RunTool(QStringLiteral("identify"), {QStringLiteral("-format"), QStringLiteral("%w %h"), file}).Out.trimmed();
}

// What `file` says the file is.
inline QString FileKind(const QString& file) {
    return RunTool(QStringLiteral("file"), {QStringLiteral("-b"), file}).Out.trimmed();
}

// ImageMagick's compare: the normalised metric (MAE 0..1) or PSNR in dB;
// -1 when the tool fails.
inline double CompareMetric(const QString& metric, const QString& a, const QString& b) {
    const TToolRun r = RunTool(QStringLiteral("compare"), {QStringLiteral("-metric"), metric, a, b, QStringLiteral("null:")});
    // compare exits 1 when the pictures differ; 2 is an error.
    if (r.Code != 0 && r.Code != 1) return -1;
    const QString text = r.Err.trimmed();
    if (metric == QStringLiteral("PSNR")) return text == QStringLiteral("inf") ? 1000 : text.toDouble();
    const auto m = QRegularExpression(QStringLiteral("\\(([0-9.e+-]+)\\)")).match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

// An EMF read by emf2svg, rasterised by librsvg on white, against a
// reference picture: the mean absolute error (0..1), -1 when a tool fails.
// The SVG and PNG are left beside the EMF.
inline double EmfMae(const QString& emf, const QString& reference) {
    const QString svg = emf + QStringLiteral(".svg"), png = emf + QStringLiteral(".png");
    if (RunTool(QStringLiteral("emf2svg-conv"), {QStringLiteral("-i"), emf, QStringLiteral("-o"), svg}).Code != 0) return -1;
    if (RunTool(QStringLiteral("rsvg-convert"), {QStringLiteral("-b"), QStringLiteral("white"), svg, QStringLiteral("-o"), png})
            .Code != 0)
        return -1;
    return CompareMetric(QStringLiteral("MAE"), png, reference);
}

template <class T>
T Get(const QByteArray& d, qsizetype at) {
    T v{};
    if (at >= 0 && at + qsizetype(sizeof(T)) <= d.size()) std::memcpy(&v, d.constData() + at, sizeof(T));
    return v;
}

// ---- metafiles: records as type (EMF record type, WMF function), place
// and size in bytes

struct TMetaRecord {
    std::uint32_t Type = 0;
    qsizetype At = 0, Size = 0;
};

struct TMetaFile {
    QByteArray Bytes;
    std::vector<TMetaRecord> Records;  // up to and with the end record
    bool Complete = false;             // every record whole, the end record last

    std::vector<TMetaRecord> OfType(std::uint32_t type) const {
        std::vector<TMetaRecord> out;
        for (const TMetaRecord& r : Records)
            if (r.Type == type) out.push_back(r);
        return out;
    }
    template <class T>
    T Field(const TMetaRecord& r, int offset) const {
        return Get<T>(Bytes, r.At + offset);
    }
    // Walks the records from a place: size(at) gives a record's size, type(at)
    // its type; end is the end record's type.
    template <class Size, class Type>
    void Walk(qsizetype at, Size size, Type type, std::uint32_t end) {
        while (at + 6 <= Bytes.size()) {
            const TMetaRecord r{type(at), at, size(at)};
            if (r.Size < 6 || r.Size % 2 || at + r.Size > Bytes.size()) return;
            Records.push_back(r);
            at += r.Size;
            if (r.Type == end) {
                Complete = at == Bytes.size();
                return;
            }
        }
    }
};

struct TEmfFile : TMetaFile {
    std::int32_t Bounds[4] = {}, Frame[4] = {};
    std::uint32_t NBytes = 0, NRecords = 0;
    std::uint16_t NHandles = 0;
    std::u16string Description;
};

inline TEmfFile ReadEmf(const QString& file) {
    TEmfFile e;
    e.Bytes = ReadAll(file);
    const QByteArray& d = e.Bytes;
    if (d.size() < 88 || Get<std::uint32_t>(d, 0) != 1 || Get<std::uint32_t>(d, 40) != 0x464D4520) return e;
    for (int i = 0; i < 4; ++i) {
        e.Bounds[i] = Get<std::int32_t>(d, 8 + 4 * i);
        e.Frame[i] = Get<std::int32_t>(d, 24 + 4 * i);
    }
    e.NBytes = Get<std::uint32_t>(d, 48);
    e.NRecords = Get<std::uint32_t>(d, 52);
    e.NHandles = Get<std::uint16_t>(d, 56);
    const auto nDesc = Get<std::uint32_t>(d, 60), offDesc = Get<std::uint32_t>(d, 64);
    if (offDesc + 2 * qsizetype(nDesc) <= d.size())
        for (std::uint32_t i = 0; i < nDesc; ++i) e.Description += char16_t(Get<std::uint16_t>(d, offDesc + 2 * i));
    e.Walk(0, [&d](qsizetype at) { return qsizetype(Get<std::uint32_t>(d, at + 4)); },
           [&d](qsizetype at) { return Get<std::uint32_t>(d, at); }, 14);
    return e;
}

// A placeable Windows metafile.
struct TWmfFile : TMetaFile {
    bool Placeable = false, ChecksumOk = false;
    std::int16_t Box[4] = {};
    std::uint16_t Inch = 0;
    std::uint32_t SizeWords = 0;
    std::uint16_t Objects = 0;
};

inline TWmfFile ReadWmf(const QString& file) {
    TWmfFile w;
    w.Bytes = ReadAll(file);
    const QByteArray& d = w.Bytes;
    if (d.size() < 40 || Get<std::uint32_t>(d, 0) != 0x9AC6CDD7u) return w;
    w.Placeable = true;
    std::uint16_t sum = 0;
    for (int i = 0; i < 10; ++i) sum ^= Get<std::uint16_t>(d, 2 * i);
    w.ChecksumOk = sum == Get<std::uint16_t>(d, 20);
    for (int i = 0; i < 4; ++i) w.Box[i] = Get<std::int16_t>(d, 6 + 2 * i);
    w.Inch = Get<std::uint16_t>(d, 14);
    if (Get<std::uint16_t>(d, 22) != 1 || Get<std::uint16_t>(d, 24) != 9) return w;
    w.SizeWords = Get<std::uint16_t>(d, 28) | (std::uint32_t(Get<std::uint16_t>(d, 30)) << 16);
    w.Objects = Get<std::uint16_t>(d, 32);
    w.Walk(40, [&d](qsizetype at) { return 2 * qsizetype(Get<std::uint32_t>(d, at)); },
           [&d](qsizetype at) { return std::uint32_t(Get<std::uint16_t>(d, at + 4)); }, 0);
    return w;
}
