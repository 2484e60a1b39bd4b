// Reading a 5 MB chapter (long text, a table of 200 rows, 20 pictures)
// into a QTextDocument. No peer runs in the process: the figure is MB/s.
#include <memory>
#include <random>

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QTextDocument>

#include <benchmark/benchmark.h>

#include "platform/jpeg/Jpeg.h"
#include "platform/rtf/RtfReader.h"

namespace {

// A picture with some structure, as a chart or a photograph has.
QImage Picture(int w, int h, int seed) {
    QImage image(w, h, QImage::Format_RGB32);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) line[x] = qRgb((x * 255) / w, (y * 255) / h, (x + y + seed * 40) % 256);
    }
    QPainter p(&image);
    for (int i = 0; i < 30; ++i) {
        p.setBrush(QColor::fromRgb(rng() % 256, rng() % 256, rng() % 256));
        p.drawEllipse(rng() % w, rng() % h, 20 + rng() % 80, 20 + rng() % 80);
    }
    return image;
}

QByteArray Hex(const QByteArray& data) {
    const QByteArray hex = data.toHex();
    QByteArray out;
    out.reserve(hex.size() + hex.size() / 32);
    for (qsizetype i = 0; i < hex.size(); i += 128) out += hex.mid(i, 128) + "\r\n";
    return out;
}

const QByteArray& Chapter() {
    static const QByteArray chapter = [] {
        QByteArray r =
            "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\froman\\fcharset0 Times New Roman;}"
            "{\\f1\\fswiss\\fcharset0 Arial;}{\\f2\\fmodern\\fcharset0 Courier New;}}\r\n"
            "{\\colortbl;\\red0\\green0\\blue0;\\red192\\green0\\blue0;\\red0\\green0\\blue128;}\r\n"
            "{\\stylesheet{\\s0\\f0\\fs24 Normal;}{\\s1\\qc\\f1\\fs32\\b heading 1;}}\r\n"
            "{\\info{\\title Plano de Interven\\'e7\\'f5es}}{\\*\\generator Processador de textos;}\r\n";
        const QByteArray sentence[] = {
            "A identifica\\'e7\\'e3o das \\'e1reas de risco geol\\'f3gico partiu do levantamento de campo ",
            "nos morros da cidade, com {\\b vistorias} em cada setor e registro {\\i fotogr\\'e1fico} das encostas. ",
            "O grau de probabilidade foi atribu\\'eddo segundo crit\\'e9rios de ocupa\\'e7\\'e3o, geologia e geomorfologia; ",
            "as interven\\'e7\\'f5es estruturais de drenagem e conten\\'e7\\'e3o t\\'eam prioridade sobre as demais, ",
            "conforme as reuni\\'f5es com as comunidades envolvidas e a {\\cf2 compatibiliza\\'e7\\'e3o} com os programas em andamento. ",
            "Os setores classificados como \\u8220\\'93muito alto\\u8221\\'94 receberam vistoria complementar. ",
        };
        int pictures = 0, paragraph = 0;
        bool table = false;
        const qsizetype target = 5 << 20;
        while (r.size() < target - 2048) {
            if (paragraph % 40 == 0)
                r += "\\pard\\plain\\s1\\qc\\sb240\\sa120\\f1\\fs32\\b Cap\\'edtulo " + QByteArray::number(paragraph / 40 + 1) + "\\par\r\n";
            r += "\\pard\\plain\\qj\\fi360\\sa120\\f0\\fs24 ";
            for (int s = 0; s < 8; ++s) r += sentence[(paragraph + s) % 6];
            r += "\\par\r\n";
            ++paragraph;
            if (!table && r.size() > target / 2) {
                table = true;
                for (int row = 0; row < 200; ++row) {
                    r += "\\trowd\\trgaph108\\clbrdrt\\brdrs\\clbrdrb\\brdrs\\cellx1500\\clbrdrt\\brdrs\\clbrdrb\\brdrs\\cellx5000"
                         "\\clbrdrt\\brdrs\\clbrdrb\\brdrs\\cellx7000\\clbrdrt\\brdrs\\clbrdrb\\brdrs\\cellx8500\r\n"
                         "\\pard\\plain\\intbl\\f0\\fs20 M" + QByteArray::number(row / 10 + 1) + "S" + QByteArray::number(row % 10 + 1) +
                         "\\cell Encosta com ocupa\\'e7\\'e3o densa e drenagem prec\\'e1ria\\cell R" +
                         QByteArray::number(row % 4 + 1) + "\\cell " + QByteArray::number(row * 7 % 60) + "\\cell\\row\r\n";
                }
            }
            if (pictures < 20 && paragraph % 150 == 75) {
                const QImage image = Picture(480, 360, pictures);
                if (pictures % 2 == 0) {
                    QByteArray png;
                    QBuffer buffer(&png);
                    buffer.open(QIODevice::WriteOnly);
                    image.save(&buffer, "PNG");
                    r += "\\pard\\qc{\\*\\shppict{\\pict\\pngblip\\picw480\\pich360\\picwgoal7200\\pichgoal5400\r\n" + Hex(png) + "}}\\par\r\n";
                } else {
                    const QByteArray jpeg = EncodeJpeg(image, 85);
                    r += "\\pard\\qc{\\pict\\jpegblip\\picw480\\pich360\\picwgoal7200\\pichgoal5400\\bin" +
                         QByteArray::number(jpeg.size()) + " " + jpeg + "}\\par\r\n";
                }
                ++pictures;
            }
        }
        return r + "}";
    }();
    return chapter;
}

void BM_ReadRtf(benchmark::State& state) {
    const QByteArray& rtf = Chapter();
    std::int64_t bytes = 0;
    for (auto _ : state) {
        auto document = std::make_unique<QTextDocument>();
        ReadRtf(rtf, *document);
        benchmark::DoNotOptimize(document->characterCount());
        state.PauseTiming();
        document.reset();
        state.ResumeTiming();
        bytes += rtf.size();
    }
    state.SetBytesProcessed(bytes);
    state.counters["MB"] = rtf.size() / 1e6;
}

}  // namespace

BENCHMARK(BM_ReadRtf)->Unit(benchmark::kMillisecond)->UseRealTime();
