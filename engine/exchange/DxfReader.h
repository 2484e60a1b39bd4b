#pragma once
// Reading DXF files of release 12 ("AC1009"). A DXF file is a sequence of
// (group code, value) pairs of two lines each; this reader takes them as
// pairs, so a value is never mistaken for a group code, and it follows the
// file's structure: sections, tables, entities, and the VERTEX entities of
// a POLYLINE up to its SEQEND.
//
// Every error is an EFormatError (or EFileError for a file that cannot be
// opened) whose message names the file and the line: a file that ends
// before its "EOF" pair; a code line that is not an integer; a number that
// does not read (bytes other than blanks around it included); a point's X
// (group 10 or 11) not followed at once by its Y (20 or 21); a SECTION
// inside another, an ENDSEC outside one, an "EOF" inside one; a VERTEX or
// SEQEND outside a POLYLINE, a POLYLINE whose SEQEND never comes. Pairs
// outside the sections are passed over. Lines end with LF or CR LF. Text (layer names, strings) is decoded as the header declares it:
// UTF-8 from release 2007 ($ACADVER "AC1021") on, before that the code page
// of $DWGCODEPAGE ("ANSI_1251", "DOS850"...), CP1252 when the header names
// none or one that cannot be read. Numbers have "." as their decimal
// separator.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QSet>
#include <QString>
#include <QStringList>

#include "core/Vertex.h"

class TStream;

class TDxfPairReader {
public:
    // Opens the file. A file that does not exist raises EFileError
    // ("File <name> not found!").
    explicit TDxfPairReader(const QString& fileName);
    // Reads from a stream the caller keeps; name is used in messages.
    TDxfPairReader(TStream& stream, const QString& name);
    ~TDxfPairReader();
    TDxfPairReader(const TDxfPairReader&) = delete;
    TDxfPairReader& operator=(const TDxfPairReader&) = delete;

    // Reads the next pair. The end of the file is an error here: a DXF
    // file ends with the pair 0 "EOF", after which nothing is read.
    void Next();
    int Code() const { return code_; }
    // The value line as written (without its line end).
    std::string_view Value() const { return value_; }
    // The value without blanks around it.
    std::string_view Trimmed() const;
    // The value as text (in the file's code page), blanks around it kept.
    QString Text() const;
    // Bytes of the file as text: CP1252 until SetCodePage.
    QString Decode(std::string_view bytes) const;
    // The code page of the file's text from here on: 1252, 65001 (UTF-8),
    // or another code page number; one that cannot be read leaves CP1252.
    void SetCodePage(int codePage);
    int CodePage() const { return codePage_; }
    // The value as a number; raises naming the file and the line when it
    // is none.
    double Number() const;
    // The line of the current pair's code (from 1).
    std::int64_t Line() const { return line_; }
    std::int64_t Position() const;
    std::int64_t Size() const;
    const QString& FileName() const { return name_; }
    // Raises EFormatError: "Arquivo DXF "<name>", linha <n>: <what>".
    [[noreturn]] void Fail(const QString& what) const;

private:
    bool ReadLine(std::string_view& line, std::string& carry);

    std::unique_ptr<TStream> owned_;
    TStream* stream_;
    QString name_;
    int code_ = 0;
    std::string_view value_;
    std::string codeCarry_, valueCarry_;  // lines that crossed a buffer end
    std::int64_t line_ = 0;
    std::int64_t nextLine_ = 1;
    int codePage_ = 1252;
};

// The code page a DXF header names in $DWGCODEPAGE ("ANSI_1252",
// "DOS850", "ISO8859-1", "UTF-8"...); 0 for a name of no code page.
int DxfCodePageOfName(std::string_view name);

// One entity as read, with the DXF defaults for every group it does not
// give (layer "0", zero coordinates, angles and size, empty text, open).
// A point is read as its groups stand together: X, then Y at once, then Z
// when it follows at once; a Y or Z group standing alone is passed over.
struct TDxfEntity {
    enum TKind { dxPoint, dxText, dxLine, dxPolyline, dxArc, dxCircle };
    TKind Kind = dxPoint;
    std::int64_t Line = 0;          // of the entity's first pair
    QString Layer;                  // group 8
    QString Text;                   // group 1, as written
    TVertex First{0, 0, 0};         // groups 10, 20, 30
    TVertex Second{0, 0, 0};        // groups 11, 21, 31
    double Size = 0;                // group 40 (radius)
    double Angle1 = 0, Angle2 = 0;  // groups 50, 51, in radians
    bool Closed = false;            // POLYLINE: bit 0 of group 70
    std::vector<TVertex> Vertices;  // POLYLINE: its VERTEX entities
};

// The DXF name of an entity kind: "POINT", "TEXT", "LINE"...
QString DxfKindName(TDxfEntity::TKind kind);

// What an import does with the file's content.
class TDxfHandler {
public:
    virtual ~TDxfHandler() = default;
    // An entity of a wanted layer that the import does not take (its kind
    // is not read, or not by this import): counted by its DXF name.
    void PassOver(const QString& kind) { ++passedOver_[kind]; }
    // The entities passed over, by kind.
    const std::map<QString, int>& PassedOver() const { return passedOver_; }
    // An entry of the LAYER table (section TABLES), in file order, and the
    // line it starts on.
    virtual void TableLayer(const QString& name, std::int64_t line) {}
    // Whether the entities of a DXF layer are taken; asked before an
    // entity is handed over (a POLYLINE's vertices are not kept when its
    // layer is not wanted).
    virtual bool Wanted(const QString& layer) = 0;
    // A POINT, TEXT, LINE, POLYLINE (with its vertices), ARC or CIRCLE of
    // a wanted layer, from the sections ENTITIES and BLOCKS. The handler
    // may take what it needs out of it.
    virtual void Entity(TDxfEntity& entity) = 0;
    // After each entity: the position in the file and its size; at "EOF"
    // (size, size).
    virtual void Progress(std::int64_t position, std::int64_t size) {}

    // A text or a layer name that the import would write into layer files
    // (and drawing files), whose text is CP1252: one with a character
    // CP1252 lacks is counted (a layer name once), the first kept with its
    // line.
    void Store(const QString& text, bool layerName, std::int64_t line);
    // Raises EEngineError when any was counted: "O arquivo DXF "<file>" tem
    // 2 textos e 1 nome de camada com caracteres que os arquivos de camada
    // (CP1252) não guardam; o primeiro, na linha 57: "Склон". Nada foi
    // importado." An import calls it once the file is read, before it
    // writes anything.
    void RefuseUnstorable(const QString& fileName) const;

private:
    std::map<QString, int> passedOver_;
    int texts_ = 0;
    QSet<QString> layers_;
    QString first_;
    std::int64_t firstLine_ = 0;
};

// The one message of an import that passed entities over: "Entidades não
// importadas de "<file>": 3 LWPOLYLINE, 1 MTEXT." (kinds by name); empty
// when it passed none over.
QString DxfPassedOverMessage(const QString& fileName, const TDxfHandler& handler);

// Reads the whole file up to its "EOF" pair. Other entities and sections
// are passed over; other entities of wanted layers in the sections ENTITIES
// and BLOCKS are counted (PassOver), without being read.
void ReadDxf(TDxfPairReader& reader, TDxfHandler& handler);

// Whether a name is in the list, without regard to case.
bool DxfLayerWanted(const QStringList& names, const QString& layer);
// A progress pair (position, size in bytes) scaled into int.
void DxfProgressScale(std::int64_t position, std::int64_t size, int& current, int& total);
