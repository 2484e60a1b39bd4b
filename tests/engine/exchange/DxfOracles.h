#pragma once
// The outside answers of the DXF tests: ezdxf (under /usr/bin/python3,
// where the Debian module lives) writes and audits DXF files, GDAL's
// ogrinfo reads them.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include "core/Vertex.h"

// Runs a program; its standard output (UTF-8). Fails the test on a
// non-zero exit.
inline QString RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << " failed: " << p.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Runs a Python script with ezdxf imported and `path` set to the file.
inline QString Ezdxf(const QString& path, const QString& script) {
    const QString prelude = QStringLiteral("import ezdxf, math\npath = r'''%1'''\n").arg(path);
    return RunTool(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), prelude + script});
}

// ezdxf's audit of a file: "errors=<n> fixes=<n>" and the messages.
inline QString EzdxfAudit(const QString& path) {
    return Ezdxf(path, QStringLiteral(
                           "doc = ezdxf.readfile(path)\n"
                           "a = doc.audit()\n"
                           "print('errors=%d fixes=%d' % (len(a.errors), len(a.fixes)))\n"
                           "for e in a.errors + a.fixes: print(e.message)\n"))
        .trimmed();
}

// One feature as ogrinfo shows it.
struct TOgrFeature {
    QString Layer, Text, Type;   // Type: POINT, LINESTRING, ...
    std::vector<TVertex> Points; // every coordinate tuple, in order
};

inline std::vector<TOgrFeature> OgrFeatures(const QString& path) {
    std::vector<TOgrFeature> out;
    const QString text = RunTool(QStringLiteral("ogrinfo"), {QStringLiteral("-al"), QStringLiteral("-q"), path});
    static const QRegularExpression geom(QStringLiteral("^\\s+(POINT|LINESTRING|POLYGON|MULTI\\w+)( Z| M| ZM)? \\((.*)\\)$"));
    for (const QString& line : text.split(u'\n')) {
        if (line.startsWith(QStringLiteral("OGRFeature("))) {
            out.emplace_back();
            continue;
        }
        if (out.empty()) continue;
        TOgrFeature& f = out.back();
        if (line.startsWith(QStringLiteral("  Layer (String) = "))) f.Layer = line.mid(19);
        else if (line.startsWith(QStringLiteral("  Text (String) = "))) f.Text = line.mid(18);
        else if (const auto m = geom.match(line); m.hasMatch()) {
            f.Type = m.captured(1);
            const int dims = m.captured(2) == u" Z" ? 3 : m.captured(2) == u" ZM" ? 4 : 2;
            QString body = m.captured(3);
            body.remove(u'(').remove(u')');
            for (const QString& tuple : body.split(u',')) {
                const QStringList n = tuple.trimmed().split(u' ');
                if (n.size() < dims) continue;
                f.Points.push_back({n[0].toDouble(), n[1].toDouble(), dims >= 3 ? n[2].toDouble() : 0.0});
            }
        }
    }
    return out;
}

// ogrinfo prints 15 significant digits.
inline bool Near(double a, double b) { return std::fabs(a - b) <= 1e-12 * std::max({1.0, std::fabs(a), std::fabs(b)}); }
inline bool Near(const TVertex& a, const TVertex& b) { return Near(a.X, b.X) && Near(a.Y, b.Y) && Near(a.Z, b.Z); }
