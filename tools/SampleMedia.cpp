// The sample's media: photographs and orthophotos drawn here and encoded as
// JPEG, and the rich-text chapters (staff, works justification and the
// thirteen methodology chapters).
#include <cmath>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include "core/Errors.h"
#include "core/Paths.h"
#include "platform/jpeg/Jpeg.h"
#include "tools/SampleParts.h"

namespace {

// The large orthophoto: 24 megapixels in grey, as the plan's aerial
// survey delivers them.
constexpr int kLargeWidth = 6000, kLargeHeight = 4000;

// A photograph of a slope: sky, the hill, houses stepping up it.
QImage DrawPhoto(std::uint64_t seed, int width, int height) {
    TRandom rnd(seed * 7919 + 17);
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height * 0.5);
    sky.setColorAt(0, QColor(110 + rnd.Below(40), 160 + rnd.Below(40), 220));
    sky.setColorAt(1, QColor(220, 230, 240));
    p.fillRect(image.rect(), sky);
    QPainterPath hill;
    hill.moveTo(0, height);
    const double top = height * rnd.Range(0.15, 0.35), peak = width * rnd.Range(0.3, 0.7);
    hill.lineTo(0, height * 0.7);
    hill.quadTo(peak, top - height * 0.2, width, height * rnd.Range(0.5, 0.8));
    hill.lineTo(width, height);
    p.fillPath(hill, QColor(90 + rnd.Below(40), 120 + rnd.Below(30), 60));
    for (int i = 0; i < 40; ++i) {
        const double x = rnd.Range(0, width), y = rnd.Range(height * 0.45, height);
        const double w = rnd.Range(width * 0.04, width * 0.08), h = w * rnd.Range(0.6, 0.9);
        const QColor wall = QColor::fromHsv(rnd.Below(360), 40 + rnd.Below(80), 170 + rnd.Below(80));
        p.fillRect(QRectF(x, y, w, h), wall);
        p.fillRect(QRectF(x + w * 0.35, y + h * 0.4, w * 0.25, h * 0.6), QColor(60, 50, 40));
        p.fillRect(QRectF(x - 2, y - h * 0.15, w + 4, h * 0.18), QColor(150, 70, 50));
    }
    return image;
}

// A small orthophoto: blocks, streets and roofs seen from above.
QImage DrawOrthophoto(std::uint64_t seed, int width, int height) {
    TRandom rnd(seed * 104729 + 3);
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(95, 110, 75));
    QPainter p(&image);
    for (int i = 0; i < 60; ++i)
        p.fillRect(QRectF(rnd.Range(0, width), rnd.Range(0, height), rnd.Range(40, 160), rnd.Range(40, 160)),
                   QColor(80 + rnd.Below(60), 95 + rnd.Below(50), 60 + rnd.Below(30)));
    p.setPen(QPen(QColor(170, 165, 150), 7));
    for (int i = 0; i < 5; ++i)
        p.drawLine(QPointF(rnd.Range(0, width), 0), QPointF(rnd.Range(0, width), height));
    for (int i = 0; i < 220; ++i)
        p.fillRect(QRectF(rnd.Range(0, width), rnd.Range(0, height), rnd.Range(8, 18), rnd.Range(8, 18)),
                   QColor(150 + rnd.Below(60), 80 + rnd.Below(40), 60));
    return image;
}

// The large orthophoto, written straight into its rows (drawing 24
// megapixels through a painter would cost more than the encoding).
QImage DrawLargeOrthophoto(std::uint64_t seed) {
    TRandom rnd(seed);
    constexpr int kBlock = 250;
    constexpr int bw = kLargeWidth / kBlock, bh = kLargeHeight / kBlock;
    std::vector<std::uint8_t> tone(bw * bh);
    for (auto& t : tone) t = static_cast<std::uint8_t>(70 + rnd.Below(80));
    QImage image(kLargeWidth, kLargeHeight, QImage::Format_Grayscale8);
    for (int y = 0; y < kLargeHeight; ++y) {
        std::uint8_t* row = image.scanLine(y);
        const std::uint8_t* tones = &tone[(y / kBlock) * bw];
        const bool street = y % 900 < 14;
        const bool roofRow = y % 40 < 26;
        for (int x = 0; x < kLargeWidth; ++x) {
            int v = tones[x / kBlock] + ((x * 7 + y * 13) & 15);
            if (roofRow && x % 40 < 28 && tones[x / kBlock] > 110) v = 200 - ((x / 40 + y / 40) & 31);
            if (street || x % 1100 < 14) v = 215;
            row[x] = static_cast<std::uint8_t>(v);
        }
    }
    return image;
}

// Written beside and renamed over, so that no half-written file is left.
void WriteBytes(const QString& path, const QByteArray& bytes) {
    const QString part = path + QStringLiteral(".part");
    QFile f(part);
    const bool written = f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
    f.close();
    if (written) QFile::remove(path);
    if (!written || !QFile::rename(part, path)) {
        QFile::remove(part);
        throw EFileError(QStringLiteral("Cannot write \"%1\"").arg(path));
    }
}

// ---- rich text

// Text as RTF: the control characters escaped, letters beyond ASCII as
// code page 1252 bytes (\'hh) or, outside it, as \uN.
QByteArray Esc(const QString& text) {
    QByteArray out;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\' || u == u'{' || u == u'}') {
            out += '\\';
            out += char(u);
        } else if (u == u'\n') {
            out += "\\par\r\n";
        } else if (u < 0x80) {
            out += char(u);
        } else if (u >= 0xA0 && u <= 0xFF) {
            out += "\\'" + QByteArray::number(u, 16).rightJustified(2, '0');
        } else {
            out += "\\u" + QByteArray::number(static_cast<std::int16_t>(u)) + '?';
        }
    }
    return out;
}

// A document: a title and paragraphs, with whatever RTF goes between them.
struct TRtf {
    QByteArray Body;
    TRtf& Title(const QString& t) {
        Body += "{\\b\\fs30 " + Esc(t) + "}\\par\\par\r\n";
        return *this;
    }
    TRtf& Para(const QString& t) {
        Body += Esc(t) + "\\par\\par\r\n";
        return *this;
    }
    TRtf& Raw(const QByteArray& rtf) {
        Body += rtf;
        return *this;
    }
    QByteArray Bytes() const {
        return "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman Times New Roman;}}\r\n"
               "{\\colortbl;\\red0\\green0\\blue0;\\red160\\green0\\blue0;}\r\n"
               "\\viewkind4\\uc1\\pard\\f0\\fs22 " +
               Body + "}\r\n";
    }
};

// A table: a header row in bold and the rows; widths in twips.
QByteArray RtfTable(const QStringList& header, const std::vector<QStringList>& rows, const std::vector<int>& widths) {
    QByteArray out;
    auto row = [&](const QStringList& cells, bool bold) {
        out += "\\trowd\\trgaph70";
        int edge = 0;
        for (int w : widths) {
            edge += w;
            out += "\\clbrdrt\\brdrs\\clbrdrl\\brdrs\\clbrdrb\\brdrs\\clbrdrr\\brdrs\\cellx" + QByteArray::number(edge);
        }
        out += "\r\n\\pard\\intbl";
        for (const QString& c : cells) out += (bold ? " {\\b " + Esc(c) + "}" : " " + Esc(c)) + "\\cell";
        out += "\\row\r\n";
    };
    row(header, true);
    for (const QStringList& r : rows) row(r, false);
    return out + "\\pard\\par\r\n";
}

// A JPEG picture embedded in the text.
QByteArray RtfPicture(const QImage& image) {
    const QByteArray jpeg = EncodeJpeg(image, 80);
    QByteArray out = "{\\pict\\jpegblip\\picw" + QByteArray::number(image.width()) + "\\pich" +
                     QByteArray::number(image.height()) + "\\picwgoal" + QByteArray::number(image.width() * 15) +
                     "\\pichgoal" + QByteArray::number(image.height() * 15) + "\r\n";
    const QByteArray hex = jpeg.toHex();
    for (qsizetype i = 0; i < hex.size(); i += 128) out += hex.mid(i, 128) + "\r\n";
    return out + "}\\par\\par\r\n";
}

void WriteRtf(const QString& folder, const QString& name, const TRtf& doc) {
    if (!QDir().mkpath(folder)) throw EFileError(QStringLiteral("Cannot create folder \"%1\"").arg(folder));
    WriteBytes(JoinPath(folder, name), doc.Bytes());
}

void WriteChapters(const QString& folder) {
    WriteRtf(JoinPath(folder, QStringLiteral("equipe")), QStringLiteral("equipe.rtf"),
             TRtf()
                 .Title(QStringLiteral("Equipe do TREL"))
                 .Para(QStringLiteral("Coordenação geral: Eng.ª Márcia Conceição Araújo"))
                 .Para(QStringLiteral("Geologia: Geól. João Batista Gonçalves; Geól. Luíza Ramos Fontes"))
                 .Para(QStringLiteral("Geotecnia: Eng. André Luís Simões"))
                 .Para(QStringLiteral("Mobilização comunitária: Assist. Soc. Conceição Brandão; Sociól. Tânia Moraes"))
                 .Para(QStringLiteral("Geoprocessamento: Téc. Sérgio Antônio Leão"))
                 .Para(QStringLiteral("Apoio: Defesa Civil do Município e associações de moradores dos morros mapeados.")));
    WriteRtf(JoinPath(folder, QStringLiteral("obras")), QStringLiteral("justificativa.rtf"),
             TRtf()
                 .Title(QStringLiteral("Justificativa da Prioridade de Obras"))
                 .Para(QStringLiteral("A ordem das intervenções resulta do modelo de decisão construído com as "
                                      "comunidades: pesam a probabilidade de ocorrência (R1 a R4), o número de "
                                      "moradias expostas e o custo estimado por família protegida."))
                 .Para(QStringLiteral("Setores com grau R4 e mais de trinta moradias encabeçam a lista; as obras de "
                                      "drenagem antecedem as de contenção quando a água é o agente principal.")));

    const QString meth = JoinPath(folder, QStringLiteral("metodologia"));
    const QString lorem = QStringLiteral(
        "Os trabalhos de campo percorreram as encostas ocupadas de cada morro, registrando as evidências de "
        "instabilidade (trincas, degraus de abatimento, árvores inclinadas, surgências d'água) e as condições das "
        "moradias, da drenagem e dos acessos.");
    struct {
        const char* File;
        const char* Title;
    } chapters[] = {
        {"01 - resumo.rtf", "Resumo"},
        {"02 - introducao.rtf", "Introdução"},
        {"03 - aspectos.rtf", "Aspectos Conceituais"},
        {"04 - etapas.rtf", "Etapas e Planejamento das Atividades"},
        {"05 - estruturacao.rtf", "Estruturação de um Modelo de Decisão"},
        {"06 - reuniao.rtf", "Reuniões com as Comunidades Envolvidas"},
        {"07 - identificacao.rtf", "Identificação e Mapeamento dos Riscos"},
        {"08 - resultados.rtf", "Resultados do Mapeamento"},
        {"09 - planos.rtf", "Plano de Intervenções Estruturais"},
        {"10 - compatibilizacao.rtf", "Compatibilização com Programas em Andamento"},
        {"11 - conclusoes.rtf", "Conclusões e Recomendações"},
        {"12 - referencias.rtf", "Referências Bibliográficas"},
    };
    int n = 0;
    for (const auto& c : chapters) {
        ++n;
        TRtf doc;
        doc.Title(QStringLiteral("%1. %2").arg(n).arg(QString::fromUtf8(c.Title)));
        doc.Para(lorem);
        if (n == 7) {
            // A chapter with a picture: a slope photographed in the field.
            doc.Para(QStringLiteral("A figura abaixo mostra um setor típico, com cortes verticais atrás das casas:"));
            doc.Raw(RtfPicture(DrawPhoto(77, 240, 160)));
        }
        doc.Para(QStringLiteral("Critérios adotados: declividade, espessura do solo, concentração de águas e "
                                "vulnerabilidade das edificações — avaliados por geólogos e engenheiros."));
        WriteRtf(meth, QString::fromUtf8(c.File), doc);
    }
    // Table 2: the works of the plan by hill.
    std::vector<QStringList> rows = {
        {QStringLiteral("M01"), QStringLiteral("Alto da Serra"), QStringLiteral("Contenção e drenagem"), QStringLiteral("1.250.000,00")},
        {QStringLiteral("M02"), QStringLiteral("Bica"), QStringLiteral("Retaludamento"), QStringLiteral("480.000,00")},
        {QStringLiteral("M03"), QStringLiteral("Cruzeiro"), QStringLiteral("Remoções e revegetação"), QStringLiteral("730.500,00")},
    };
    WriteRtf(meth, QStringLiteral("tabela 2.rtf"),
             TRtf()
                 .Title(QStringLiteral("Tabela 2 - Intervenções estruturais por morro"))
                 .Raw(RtfTable({QStringLiteral("Código"), QStringLiteral("Morro"), QStringLiteral("Intervenção"),
                                QStringLiteral("Custo (R$)")},
                               rows, {900, 2400, 3200, 1800}))
                 .Para(QStringLiteral("Valores estimados a preços de referência do município.")));
}

}  // namespace

void WriteSampleMedia(const QString& folder, const std::vector<TSamplePicture>& pictures) {
    for (const TSamplePicture& pic : pictures) {
        const QString dir = JoinPath(folder, pic.Folder);
        if (!QDir().mkpath(dir)) throw EFileError(QStringLiteral("Cannot create folder \"%1\"").arg(dir));
        const QString path = JoinPath(dir, pic.Name);
        switch (pic.Kind) {
        case TSamplePicture::pkPhoto: WriteBytes(path, EncodeJpeg(DrawPhoto(pic.Seed, 320, 240), 75)); break;
        case TSamplePicture::pkOrthophoto: WriteBytes(path, EncodeJpeg(DrawOrthophoto(pic.Seed, 800, 600), 75)); break;
        case TSamplePicture::pkLargeOrthophoto: WriteBytes(path, EncodeJpeg(DrawLargeOrthophoto(pic.Seed), 50)); break;
        case TSamplePicture::pkDamaged:
            // A photograph cut off inside its headers: no picture can be read from it.
            WriteBytes(path, EncodeJpeg(DrawPhoto(pic.Seed, 320, 240), 75).left(120));
            break;
        }
    }
    WriteChapters(folder);
}
