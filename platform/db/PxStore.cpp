#include "platform/db/PxStore.h"

#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unordered_map>
#include <unistd.h>

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

extern "C" {
#include <paradox.h>
}

#include "platform/db/CodePages.h"
#include "platform/db/DbError.h"
#include "platform/db/ParadoxFile.h"

namespace {

void BootPx() {
    static const bool booted = [] {
        PX_boot();
        return true;
    }();
    (void)booted;
}

// Paradox dates count days from 1 January of year 1 (day 1).
constexpr qint64 kJulianDayBeforeYear1 = 1721425;

void CollectError(pxdoc_t*, int, const char* msg, void* data) {
    if (data && msg) *static_cast<QString*>(data) = QString::fromLocal8Bit(msg).trimmed();
}

struct TPxDoc {
    QString Error;
    pxdoc_t* Doc = nullptr;
    TPxDoc() {
        Doc = PX_new3(CollectError, nullptr, nullptr, nullptr, &Error);
    }
    ~TPxDoc() {
        if (Doc) {
            PX_close(Doc);
            PX_delete(Doc);
        }
    }
};

QString WorkName(const QString& original) {
    const int dot = original.lastIndexOf(u'.');
    return dot > original.lastIndexOf(u'/') ? original.left(dot) + QStringLiteral("~kzw") + original.mid(dot)
                                            : original + QStringLiteral("~kzw");
}

QString BackupName(const QString& original) {
    const int dot = original.lastIndexOf(u'.');
    return dot > original.lastIndexOf(u'/') ? original.left(dot) + QStringLiteral("~kzb") + original.mid(dot)
                                            : original + QStringLiteral("~kzb");
}

TDbCodePage CodePageOfDos(int cp) {
    return cp == 850 || cp == 437 || cp == 860 ? TDbCodePage::Cp850 : TDbCodePage::Cp1252;
}

struct TRecord {
    bool Deleted = false;
    std::vector<TDbValue> Values;  // null for BLOb fields
    std::vector<std::string> Blobs;  // of each BLOb field: its leader and pointer
};

void WritePx(const QString& name, const QString& fileName_, const std::vector<pxfield_t>& fields_,
             const std::vector<QByteArray>& fieldNames_, int codePageNumber_, const std::vector<TRecord>& records) {
    const TDbCodePage codePage_ = CodePageOfDos(codePageNumber_);
    QFile::remove(name);
    TPxDoc px;
    if (!px.Doc) throw EDatabaseError(QStringLiteral("Não foi possível gravar a tabela ") + fileName_);
    const int nf = static_cast<int>(fields_.size());
    auto* fields = static_cast<pxfield_t*>(px.Doc->malloc(px.Doc, sizeof(pxfield_t) * static_cast<std::size_t>(nf), "fields"));
    for (int i = 0; i < nf; ++i) {
        fields[i] = fields_[i];
        const QByteArray& n = fieldNames_[i];
        fields[i].px_fname = static_cast<char*>(px.Doc->malloc(px.Doc, static_cast<std::size_t>(n.size()) + 1, "name"));
        std::memcpy(fields[i].px_fname, n.constData(), static_cast<std::size_t>(n.size()) + 1);
    }
    if (PX_create_file(px.Doc, fields, nf, name.toLocal8Bit().constData(), pxfFileTypNonIndexDB) < 0)
        throw EDatabaseError(QStringLiteral("Não foi possível gravar a tabela ") + fileName_ + QStringLiteral(": ") + px.Error);
    PX_set_value(px.Doc, "codepage", static_cast<float>(codePageNumber_));
    const QByteArray table = QFileInfo(fileName_).completeBaseName().toLocal8Bit();
    PX_set_parameter(px.Doc, "tablename", table.constData());
    std::vector<pxval_t> vals(static_cast<std::size_t>(nf));
    std::vector<pxval_t*> ptrs(static_cast<std::size_t>(nf));
    std::vector<QByteArray> texts(static_cast<std::size_t>(nf));
    for (const TRecord& rec : records) {
        if (rec.Deleted) continue;
        for (int i = 0; i < nf; ++i) {
            pxval_t& v = vals[i];
            std::memset(&v, 0, sizeof v);
            v.type = fields_[i].px_ftype;
            ptrs[i] = &v;
            const TDbValue& d = rec.Values[i];
            if (d.IsNull()) {
                v.isnull = 1;
                continue;
            }
            switch (v.type) {
            case pxfShort: case pxfLong: case pxfAutoInc: case pxfLogical: v.value.lval = static_cast<long>(d.I); break;
            case pxfNumber: case pxfCurrency: v.value.dval = d.D; break;
            case pxfDate:
                v.value.lval = static_cast<long>(QDate::fromString(QString::fromStdString(d.S), QStringLiteral("yyyy-MM-dd")).toJulianDay() -
                                                 kJulianDayBeforeYear1);
                break;
            case pxfTime:
                v.value.lval = QTime(0, 0).msecsTo(QTime::fromString(QString::fromStdString(d.S), QStringLiteral("HH:mm:ss")));
                break;
            case pxfTimestamp: {
                const QDateTime t = QDateTime::fromString(QString::fromStdString(d.S), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
                v.value.dval = static_cast<double>(t.date().toJulianDay() - kJulianDayBeforeYear1) * 86400000.0 +
                               QTime(0, 0).msecsTo(t.time());
                break;
            }
            default:
                texts[i] = EncodeText(codePage_, QString::fromStdString(d.S));
                v.value.str.val = texts[i].data();
                v.value.str.len = static_cast<int>(texts[i].size());
                break;
            }
        }
        if (PX_insert_record(px.Doc, ptrs.data()) < 0)
            throw EDatabaseError(QStringLiteral("Não foi possível gravar a tabela ") + fileName_ + QStringLiteral(": ") + px.Error);
    }
    PX_close(px.Doc);
    PX_delete(px.Doc);
    px.Doc = nullptr;
    const int fd = ::open(name.toLocal8Bit().constData(), O_RDWR);
    const bool ok = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0) ::close(fd);
    if (!ok) throw EDatabaseError(QStringLiteral("Não foi possível gravar a tabela ") + fileName_);
}


class TPxStore final : public TTableStore {
public:
    explicit TPxStore(const QString& fileName) {
        fileName_ = fileName;
        Load();
    }
    ~TPxStore() override { Rollback(); }

    QString ReadOnlyReason() const override { return readOnly_; }
    void Refresh() override {
        if (work_) return;
        if (TFileStamp::Of(fileName_) != stamp_) Load();
    }
    std::int64_t SlotCount() override { return static_cast<std::int64_t>(View().size()); }
    bool IsDeleted(std::int64_t slot) override { return View().at(static_cast<std::size_t>(slot)).Deleted; }
    void ReadValue(std::int64_t slot, int column, TDbValue& out) override {
        const auto& rec = View().at(static_cast<std::size_t>(slot));
        if (column < 0 || column >= static_cast<int>(rec.Values.size())) out.SetNull();
        else if (!rec.Blobs.empty() && paradox::IsBlobType(static_cast<std::uint8_t>(fields_[column].px_ftype))) ReadBlob(rec, column, out);
        else out = rec.Values[column];
    }
    void Update(std::int64_t slot, const std::vector<TDbValue>& values) override {
        BeginWrite();
        auto& rec = work_->at(static_cast<std::size_t>(slot));
        if (rec.Deleted) throw EDatabaseError(QStringLiteral("Registro inexistente."));
        rec.Values = Normalized(slot, values);
    }
    std::int64_t Insert(const std::vector<TDbValue>& values) override {
        BeginWrite();
        work_->push_back({false, Normalized(static_cast<std::int64_t>(work_->size()), values), {}});
        return static_cast<std::int64_t>(work_->size()) - 1;
    }
    void Delete(std::int64_t slot) override {
        BeginWrite();
        work_->at(static_cast<std::size_t>(slot)).Deleted = true;
    }
    // Sync is the commit point: the rebuilt file takes the table's place and
    // the original is kept aside until Commit (Rollback puts it back).
    void Sync() override {
        if (!work_ || synced_) return;
        try {
            WritePx(WorkName(fileName_), fileName_, fields_, fieldNames_, codePageNumber_, *work_);
        } catch (...) {
            Rollback();
            throw;
        }
        const QByteArray orig = fileName_.toLocal8Bit(), bak = BackupName(fileName_).toLocal8Bit();
        bool ok = std::rename(orig.constData(), bak.constData()) == 0;
        if (ok) {
            swapped_ = true;
            ok = std::rename(WorkName(fileName_).toLocal8Bit().constData(), orig.constData()) == 0;
        }
        synced_ = true;
        if (!ok) {
            Rollback();
            throw EDatabaseError(QStringLiteral("Não foi possível gravar a tabela ") + fileName_);
        }
    }
    void Commit() override {
        if (!work_) return;
        if (!synced_) Sync();
        if (swapped_) QFile::remove(BackupName(fileName_));
        swapped_ = false;
        rows_ = std::move(*work_);
        work_.reset();
        synced_ = false;
        stamp_ = TFileStamp::Of(fileName_);
    }
    void Rollback() override {
        if (!work_) return;
        if (swapped_) std::rename(BackupName(fileName_).toLocal8Bit().constData(), fileName_.toLocal8Bit().constData());
        swapped_ = false;
        work_.reset();
        synced_ = false;
        QFile::remove(WorkName(fileName_));
    }

protected:
    // A savepoint's mark: the working records as they were.
    std::shared_ptr<const void> WriteMark() override {
        return work_ ? std::make_shared<const std::vector<TRecord>>(*work_) : nullptr;
    }
    void BackToMark(const std::shared_ptr<const void>& mark) override {
        if (mark) work_ = *static_cast<const std::vector<TRecord>*>(mark.get());
        else work_.reset();
    }

private:
    const std::vector<TRecord>& View() const { return work_ ? *work_ : rows_; }

    void BeginWrite() {
        if (!readOnly_.isEmpty()) throw EDatabaseError(readOnly_);
        if (!work_) work_ = rows_;
        synced_ = false;
    }

    // The values as the fields store them; slot: the record's (for messages).
    std::vector<TDbValue> Normalized(std::int64_t slot, const std::vector<TDbValue>& values) const;
    void Load();
    void ReadBlob(const TRecord& rec, int column, TDbValue& out);

    std::vector<TRecord> rows_;
    std::optional<std::vector<TRecord>> work_;
    bool synced_ = false;
    bool swapped_ = false;
    std::vector<pxfield_t> fields_;  // types and sizes (names not kept)
    std::vector<QByteArray> fieldNames_;
    int codePageNumber_ = 1252;
    TDbCodePage codePage_ = TDbCodePage::Cp1252;
    QString readOnly_;
    TFileStamp stamp_;
    std::vector<int> blobColumns_;  // ascending
    std::unique_ptr<paradox::TBlobFile> blobFile_;
    // Memo texts decoded once per BLOb of the memo file, which keeps the
    // BLObs it read: records naming the same BLOb take the same text. By
    // the BLOb's bytes, which the entry keeps alive.
    struct TMemoText {
        std::shared_ptr<const std::string> Bytes;
        std::string Text;
    };
    std::unordered_map<const std::string*, TMemoText> memoTexts_;
};

void TPxStore::Load() {
    // Stamped before the read: a change made while reading shows at the
    // next refresh.
    const TFileStamp stamp = TFileStamp::Of(fileName_);
    QFile file(fileName_);
    if (!file.open(QIODevice::ReadOnly))
        throw EDatabaseError(QStringLiteral("Não foi possível abrir a tabela ") + fileName_);
    const std::int64_t size = file.size();
    const std::uint8_t* data = size > 0 ? file.map(0, size) : nullptr;
    QByteArray copy;
    if (size > 0 && data == nullptr) {  // a file that cannot be mapped is read
        copy = file.readAll();
        data = reinterpret_cast<const std::uint8_t*>(copy.constData());
    }
    const paradox::TTableFile table = paradox::ReadTableFile(fileName_, data, copy.isEmpty() ? size : copy.size());
    if (table.Encryption != 0)
        throw EDatabaseError(QStringLiteral("A tabela ") + fileName_ + QStringLiteral(" é cifrada e não pode ser lida."));
    codePageNumber_ = table.CodePage > 0 ? table.CodePage : 1252;
    codePage_ = CodePageOfDos(codePageNumber_);
    columns_.clear();
    fields_.clear();
    fieldNames_.clear();
    readOnly_.clear();
    blobColumns_.clear();
    bool blobs = false;
    for (std::size_t i = 0; i < table.Fields.size(); ++i) {
        const paradox::TField& f = table.Fields[i];
        TStoreColumn c;
        std::string name;
        DecodeText(codePage_, f.Name.data(), f.Name.size(), name);
        c.Name = QString::fromStdString(name);
        switch (f.Type) {
        case pxfAlpha: c.Type = ftString; c.Size = f.Length; break;
        case pxfShort: c.Type = ftSmallint; break;
        case pxfLong: c.Type = ftInteger; break;
        case pxfAutoInc: c.Type = ftAutoInc; break;
        case pxfNumber: c.Type = ftFloat; break;
        case pxfCurrency: c.Type = ftCurrency; break;
        case pxfLogical: c.Type = ftBoolean; break;
        case pxfDate: c.Type = ftDate; break;
        case pxfTime: c.Type = ftTime; break;
        case pxfTimestamp: c.Type = ftDateTime; break;
        case pxfMemoBLOb: case pxfFmtMemoBLOb: c.Type = ftMemo; blobs = true; break;
        case pxfGraphic: c.Type = ftGraphic; blobs = true; break;
        case pxfBCD: c.Type = ftBCD; blobs = true; break;
        case pxfBytes: c.Type = ftBytes; blobs = true; break;
        default: c.Type = ftBlob; blobs = true; break;
        }
        if (paradox::IsBlobType(f.Type)) blobColumns_.push_back(static_cast<int>(i));
        columns_.push_back(c);
        pxfield_t px{};
        px.px_ftype = static_cast<char>(f.Type);
        px.px_flen = f.Length;
        px.px_fdc = f.Decimals;
        fields_.push_back(px);
        fieldNames_.push_back(QByteArray::fromStdString(f.Name));
    }
    if (blobs)
        readOnly_ = QStringLiteral("A tabela ") + fileName_ +
                    QStringLiteral(" é somente leitura: campos memo, BLOb, BCD e bytes do Paradox não podem ser gravados.");
    else if (table.PrimaryKeyFields > 0 || table.FileType == pxfFileTypIndexDB)
        readOnly_ = QStringLiteral("A tabela ") + fileName_ +
                    QStringLiteral(" é somente leitura: tabelas do Paradox com chave primária não podem ser gravadas.");

    // BLObs live in the ".mb" file beside the table and are read when asked
    // for; the record keeps the bytes that point at them.
    blobFile_.reset();
    memoTexts_.clear();
    if (!blobColumns_.empty()) {
        QString mb = fileName_.left(fileName_.lastIndexOf(u'.')) + QStringLiteral(".mb");
        if (!QFileInfo::exists(mb)) mb = fileName_.left(fileName_.lastIndexOf(u'.')) + QStringLiteral(".MB");
        blobFile_ = std::make_unique<paradox::TBlobFile>(mb);
    }
    rows_.clear();
    rows_.reserve(table.Records.size());
    for (const std::int64_t at : table.Records) {
        TRecord rec;
        rec.Values.resize(table.Fields.size());
        int offset = 0;
        for (std::size_t i = 0; i < table.Fields.size(); ++i) {
            const paradox::TField& f = table.Fields[i];
            const std::uint8_t* p = data + at + offset;
            if (paradox::IsBlobType(f.Type)) rec.Blobs.emplace_back(reinterpret_cast<const char*>(p), static_cast<std::size_t>(f.Length));
            else paradox::DecodeValue(f, p, codePage_, rec.Values[i]);
            offset += f.Length;
        }
        rows_.push_back(std::move(rec));
    }
    stamp_ = stamp;
}

void TPxStore::ReadBlob(const TRecord& rec, int column, TDbValue& out) {
    out.SetNull();
    std::size_t k = 0;
    while (k < blobColumns_.size() && blobColumns_[k] != column) ++k;
    if (k >= rec.Blobs.size() || !blobFile_) return;
    paradox::TField f;
    f.Type = static_cast<std::uint8_t>(fields_[column].px_ftype);
    f.Length = fields_[column].px_flen;
    const auto blob = blobFile_->Read(f, reinterpret_cast<const std::uint8_t*>(rec.Blobs[k].data()));
    if (!blob) return;
    if (f.Type == pxfMemoBLOb || f.Type == pxfFmtMemoBLOb) {
        auto decode = [&](std::string& text) {
            std::size_t len = blob->size();
            while (len > 0 && (*blob)[len - 1] == '\0') --len;
            DecodeText(codePage_, blob->data(), len, text);
        };
        out.Kind = TDbValue::vText;
        if (blob.use_count() == 1) {  // held in its leader: not kept
            decode(out.S);
            return;
        }
        auto known = memoTexts_.find(blob.get());
        if (known == memoTexts_.end()) {
            known = memoTexts_.emplace(blob.get(), TMemoText{blob, std::string()}).first;
            decode(known->second.Text);
        }
        out.S = known->second.Text;
    } else {
        out.Kind = TDbValue::vBlob;
        out.S = *blob;
    }
}

std::vector<TDbValue> TPxStore::Normalized(std::int64_t slot, const std::vector<TDbValue>& values) const {
    std::vector<TDbValue> out(columns_.size());
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (i >= values.size() || values[i].IsNull()) continue;
        const TDbValue& v = values[i];
        const TStoreColumn& c = columns_[i];
        auto number = [&](double& d) {
            if (v.Kind == TDbValue::vInt) d = static_cast<double>(v.I);
            else if (v.Kind == TDbValue::vFloat) d = v.D;
            else {
                bool ok = false;
                d = QString::fromStdString(v.S).trimmed().replace(u',', u'.').toDouble(&ok);
                if (!ok) throw EDatabaseError(QStringLiteral("Valor inválido para o campo ") + c.Name + u'.');
            }
        };
        switch (fields_[i].px_ftype) {
        case pxfShort: case pxfLong: case pxfAutoInc: case pxfLogical: {
            double d = 0;
            number(d);
            const double limit = fields_[i].px_ftype == pxfShort ? 32767 : 2147483647;
            if (std::abs(d) > limit) throw EDatabaseError(QStringLiteral("Valor fora dos limites do campo ") + c.Name + u'.');
            out[i].SetInt(fields_[i].px_ftype == pxfLogical ? (d != 0) : static_cast<std::int64_t>(std::llround(d)));
            break;
        }
        case pxfNumber: case pxfCurrency: {
            double d = 0;
            number(d);
            out[i].SetFloat(d == 0 ? 0.0 : d);  // zero has no sign
            break;
        }
        case pxfDate: case pxfTime: case pxfTimestamp: {
            const QString t = QString::fromStdString(v.S).trimmed();
            QDateTime d = QDateTime::fromString(t, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            if (!d.isValid()) d = QDateTime(QDate::fromString(t, QStringLiteral("yyyy-MM-dd")), QTime(0, 0));
            if (!d.isValid() && fields_[i].px_ftype == pxfTime) d = QDateTime(QDate(1, 1, 1), QTime::fromString(t, QStringLiteral("HH:mm:ss")));
            if (v.Kind != TDbValue::vText || !d.isValid())
                throw EDatabaseError(QStringLiteral("Valor inválido para o campo ") + c.Name + u'.');
            if (fields_[i].px_ftype == pxfDate) out[i].SetText(d.date().toString(QStringLiteral("yyyy-MM-dd")).toStdString());
            else if (fields_[i].px_ftype == pxfTime) out[i].SetText(d.time().toString(QStringLiteral("HH:mm:ss")).toStdString());
            else out[i].SetText(d.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString());
            break;
        }
        default: {
            const QString s = v.Kind == TDbValue::vText ? QString::fromStdString(v.S)
                              : v.Kind == TDbValue::vInt ? QString::number(v.I)
                                                         : QString::number(v.D, 'g', 17);
            QByteArray bytes = EncodeFieldText(codePage_, s, -1, {fileName_, c.Name, slot + 1});
            if (bytes.size() > fields_[i].px_flen) bytes.truncate(fields_[i].px_flen);
            std::string back;
            DecodeText(codePage_, bytes.constData(), static_cast<std::size_t>(bytes.size()), back);
            if (!back.empty()) out[i].SetText(back);
            break;
        }
        }
    }
    return out;
}

}  // namespace

std::unique_ptr<TTableStore> OpenPxStore(const QString& fileName) {
    BootPx();
    return std::make_unique<TPxStore>(fileName);
}

void CreatePxTable(const QString& fileName, const std::vector<TStoreColumn>& columns, int) {
    BootPx();
    std::vector<pxfield_t> fields;
    std::vector<QByteArray> names;
    for (const TStoreColumn& c : columns) {
        pxfield_t f{};
        switch (c.Type) {
        case ftString: case ftFixedChar: case ftWideString: f.px_ftype = pxfAlpha; f.px_flen = std::clamp(c.Size > 0 ? c.Size : 20, 1, 255); break;
        case ftSmallint: case ftWord: f.px_ftype = pxfShort; f.px_flen = 2; break;
        case ftInteger: case ftLargeint: f.px_ftype = pxfLong; f.px_flen = 4; break;
        case ftAutoInc: f.px_ftype = pxfAutoInc; f.px_flen = 4; break;
        case ftFloat: case ftBCD: f.px_ftype = pxfNumber; f.px_flen = 8; break;
        case ftCurrency: f.px_ftype = pxfCurrency; f.px_flen = 8; break;
        case ftBoolean: f.px_ftype = pxfLogical; f.px_flen = 1; break;
        case ftDate: f.px_ftype = pxfDate; f.px_flen = 4; break;
        case ftTime: f.px_ftype = pxfTime; f.px_flen = 4; break;
        case ftDateTime: case ftTimeStamp: f.px_ftype = pxfTimestamp; f.px_flen = 8; break;
        default:
            throw EDatabaseError(QStringLiteral("O campo ") + c.Name +
                                 QStringLiteral(" não pode ser criado: campos memo, BLOb e bytes do Paradox não podem ser gravados."));
        }
        fields.push_back(f);
        names.push_back(EncodeText(TDbCodePage::Cp1252, c.Name.left(25)));
    }
    const QString work = WorkName(fileName);
    WritePx(work, fileName, fields, names, 1252, {});
    if (std::rename(work.toLocal8Bit().constData(), fileName.toLocal8Bit().constData()) != 0) {
        QFile::remove(work);
        throw EDatabaseError(QStringLiteral("Não foi possível criar a tabela ") + fileName);
    }
}
