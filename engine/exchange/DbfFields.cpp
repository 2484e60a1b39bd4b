#include "engine/exchange/DbfFields.h"

#include <algorithm>

#include <QFile>

#include "core/Cp1252.h"
#include "platform/db/DbError.h"
#include "platform/db/Session.h"
#include "platform/db/VirtualTables.h"

namespace {

constexpr int kHeader = 32;
constexpr int kDescriptor = 32;

int Le16(const QByteArray& b, int at) {
    return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}
std::uint32_t Le32(const QByteArray& b, int at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}

// The header of a dBase file up to its stated length, within the file;
// empty when there is none.
QByteArray ReadHeader(QFile& file) {
    QByteArray head = file.read(kHeader);
    if (head.size() < kHeader) return {};
    const int length = Le16(head, 8);
    if (length < kHeader + 1 || length > file.size()) return {};
    return head + file.read(length - kHeader);
}

// The descriptors of a header, each with the place of its 32 bytes.
std::vector<std::pair<TDbfDescriptor, int>> Descriptors(const QByteArray& header) {
    std::vector<std::pair<TDbfDescriptor, int>> out;
    for (int at = kHeader; at + kDescriptor <= header.size() && header[at] != '\x0D'; at += kDescriptor) {
        int n = 0;
        while (n < 11 && header[at + n] != '\0') ++n;
        TDbfDescriptor d;
        d.Name = Cp1252ToString(header.constData() + at, static_cast<std::size_t>(n)).trimmed();
        d.Type = header[at + 11];
        d.Width = static_cast<unsigned char>(header[at + 16]);
        d.Decimals = static_cast<unsigned char>(header[at + 17]);
        out.emplace_back(d, at);
    }
    return out;
}

// The bytes a field takes in a record (FoxPro keeps the high byte of long
// text widths in the decimals).
int BytesOf(const TDbfDescriptor& d) { return d.Type == 'C' ? d.Width + 256 * d.Decimals : d.Width; }

bool IsDbf(const QString& fileName) { return fileName.endsWith(QStringLiteral(".dbf"), Qt::CaseInsensitive); }

bool Holdable(const TDbfDescriptor& d) {
    return d.IsNumber() && d.Width >= 1 && d.Width <= 254 && (d.Decimals == 0 || d.Decimals <= d.Width - 2);
}

}  // namespace

std::vector<TDbfDescriptor> ReadDbfDescriptors(const QString& fileName) {
    QFile file(fileName);
    if (!IsDbf(fileName) || !file.open(QIODevice::ReadOnly)) return {};
    std::vector<TDbfDescriptor> out;
    for (auto& [d, at] : Descriptors(ReadHeader(file))) out.push_back(std::move(d));
    return out;
}

const TDbfDescriptor* FindDbfDescriptor(const std::vector<TDbfDescriptor>& fields, const QString& name) {
    for (const TDbfDescriptor& d : fields)
        if (d.Name.compare(name, Qt::CaseInsensitive) == 0) return &d;
    return nullptr;
}

void SetDbfNumberFields(const QString& fileName, const std::vector<TDbfDescriptor>& wanted) {
    if (!IsDbf(fileName) || std::none_of(wanted.begin(), wanted.end(), Holdable)) return;
    // The table as read before is forgotten: it is read again as it is now.
    Session().Stores().Forget(fileName);
    QFile file(fileName);
    if (!file.open(QIODevice::ReadWrite))
        throw EDatabaseError(QStringLiteral("Não foi possível gravar a tabela ") + fileName);
    QByteArray header = ReadHeader(file);
    if (header.isEmpty() || Le32(header, 4) != 0)
        throw EDatabaseError(QStringLiteral("A tabela ") + fileName + QStringLiteral(" não é uma tabela dBase nova."));
    int record = 1;
    bool changed = false;
    for (auto& [d, at] : Descriptors(header)) {
        const TDbfDescriptor* w = d.IsNumber() ? FindDbfDescriptor(wanted, d.Name) : nullptr;
        if (w != nullptr && Holdable(*w) && (w->Type != d.Type || w->Width != d.Width || w->Decimals != d.Decimals)) {
            d.Type = w->Type;
            d.Width = w->Width;
            d.Decimals = w->Decimals;
            header[at + 11] = d.Type;
            header[at + 16] = static_cast<char>(d.Width);
            header[at + 17] = static_cast<char>(d.Decimals);
            changed = true;
        }
        record += BytesOf(d);
    }
    if (!changed) return;
    if (record > 0xFFFF)
        throw EDatabaseError(QStringLiteral("Definição de campos inválida para ") + fileName);
    header[10] = static_cast<char>(record & 0xFF);
    header[11] = static_cast<char>(record >> 8);
    if (!file.seek(0) || file.write(header) != header.size() || !file.flush())
        throw EDatabaseError(QStringLiteral("Não foi possível gravar a tabela ") + fileName);
}
