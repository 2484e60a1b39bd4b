#include "platform/db/PxStore.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unordered_map>
#include <unistd.h>

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

// pxlib writes blocks of up to 16 KB, each with a head of 6 bytes: a
// table whose records do not fit one is not written.
constexpr int kMaxWrittenRecord = 16 * 1024 - 6;
// The memo texts a table keeps decoded.
constexpr std::size_t kMemoTextBytes = 64 << 20;

struct TRecord {
    bool Deleted = false;
    std::string Bytes;  // as stored
};

// A table file made by pxlib from the fields (names as stored) and the
// bytes of the records that are not deleted.
void WritePx(const QString& name, const QString& fileName_, const std::vector<paradox::TField>& fields_,
             int codePageNumber_, const std::vector<TRecord>& records) {
    QFile::remove(name);
    TPxDoc px;
    if (!px.Doc) throw EDatabaseError(QStringLiteral("Não foi possível gravar a tabela ") + fileName_);
    const int nf = static_cast<int>(fields_.size());
    auto* fields = static_cast<pxfield_t*>(px.Doc->malloc(px.Doc, sizeof(pxfield_t) * static_cast<std::size_t>(nf), "fields"));
    for (int i = 0; i < nf; ++i) {
        const paradox::TField& f = fields_[i];
        fields[i] = pxfield_t{};
        fields[i].px_ftype = static_cast<char>(f.Type);
        fields[i].px_flen = f.Length;
        fields[i].px_fdc = f.Decimals;
        fields[i].px_fname = static_cast<char*>(px.Doc->malloc(px.Doc, f.Name.size() + 1, "name"));
        std::memcpy(fields[i].px_fname, f.Name.c_str(), f.Name.size() + 1);
    }
    if (PX_create_file(px.Doc, fields, nf, name.toLocal8Bit().constData(), pxfFileTypNonIndexDB) < 0)
        throw EDatabaseError(QStringLiteral("Não foi possível gravar a tabela ") + fileName_ + QStringLiteral(": ") + px.Error);
    PX_set_value(px.Doc, "codepage", static_cast<float>(codePageNumber_));
    const QByteArray table = QFileInfo(fileName_).completeBaseName().toLocal8Bit();
    PX_set_parameter(px.Doc, "tablename", table.constData());
    std::string record;
    for (const TRecord& rec : records) {
        if (rec.Deleted) continue;
        record = rec.Bytes;
        if (PX_put_record(px.Doc, record.data()) < 0)
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

// Records are kept as their stored bytes and read field by field when
// asked for; a write changes the bytes of the fields it gives a new value
// and leaves every other byte as it was.
class TPxStore final : public TTableStore {
public:
    explicit TPxStore(const QString& fileName) {
        fileName_ = fileName;
        Load();
    }
    ~TPxStore() override { Rollback(); }

    QString ReadOnlyReason() const override { return readOnly_; }
    // The ".mb" file is followed on its own: rewritten alone, it is read again.
    void Refresh() override {
        if (work_) return;
        if (TFileStamp::Of(fileName_) != stamp_) Load();
        else if (!blobColumns_.empty() && TFileStamp::Of(BlobFileName()) != blobStamp_) OpenBlobFile();
    }
    std::int64_t SlotCount() override { return static_cast<std::int64_t>(View().size()); }
    bool IsDeleted(std::int64_t slot) override { return View().at(static_cast<std::size_t>(slot)).Deleted; }
    void ReadValue(std::int64_t slot, int column, TDbValue& out) override {
        const TRecord& rec = View().at(static_cast<std::size_t>(slot));
        if (column < 0 || column >= static_cast<int>(fields_.size())) {
            out.SetNull();
            return;
        }
        const auto* p = reinterpret_cast<const std::uint8_t*>(rec.Bytes.data()) + offsets_[column];
        if (paradox::IsBlobType(fields_[column].Type)) ReadBlob(column, p, out);
        else paradox::DecodeValue(fields_[column], p, codePage_, out);
    }

    bool KeepsColumns() const override { return true; }
    void Update(std::int64_t slot, const std::vector<TDbValue>& values) override { UpdateKeeping(slot, values, {}); }
    void UpdateKeeping(std::int64_t slot, const std::vector<TDbValue>& values, const std::vector<bool>& keep) override {
        std::string bytes = Written(slot).Bytes;
        Encode(slot, values, keep, bytes);
        Written(slot).Bytes = std::move(bytes);
    }
    std::int64_t Insert(const std::vector<TDbValue>& values) override {
        BeginWrite();
        const auto slot = static_cast<std::int64_t>(work_->size());
        std::string bytes(static_cast<std::size_t>(recordSize_), '\0');
        Encode(slot, values, {}, bytes);
        work_->push_back({false, std::move(bytes)});
        return slot;
    }
    void Delete(std::int64_t slot) override { Written(slot).Deleted = true; }
    // Sync is the commit point: the rebuilt file takes the table's place and
    // the original is kept aside until Commit (Rollback puts it back).
    void Sync() override {
        if (!work_ || synced_) return;
        try {
            WritePx(WorkName(fileName_), fileName_, fields_, codePageNumber_, *work_);
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
        if (synced_) throw EDatabaseError(QStringLiteral("Transação já encerrada."));
        if (!work_) work_ = rows_;
    }
    // A record of the working copy, to be written.
    TRecord& Written(std::int64_t slot) {
        BeginWrite();
        if (slot < 0 || slot >= static_cast<std::int64_t>(work_->size()) || (*work_)[slot].Deleted)
            throw EDatabaseError(QStringLiteral("Registro inexistente."));
        return (*work_)[static_cast<std::size_t>(slot)];
    }

    // Puts the values into the bytes of a record (slot: the record's, for
    // messages). A field marked in `keep`, or given the value its bytes
    // read as, keeps its bytes: a value that does not read back as it was
    // stored (a fraction of a millisecond, a damaged field read as null)
    // is not changed by writing back what was read.
    void Encode(std::int64_t slot, const std::vector<TDbValue>& values, const std::vector<bool>& keep, std::string& bytes) {
        const TDbValue none;
        TDbValue current;
        for (std::size_t i = 0; i < fields_.size(); ++i) {
            if (i < keep.size() && keep[i]) continue;
            const TDbValue& v = i < values.size() ? values[i] : none;
            auto* p = reinterpret_cast<std::uint8_t*>(bytes.data()) + offsets_[i];
            paradox::DecodeValue(fields_[i], p, codePage_, current);
            if (v == current) continue;
            paradox::EncodeValue(fields_[i], v, codePage_, {fileName_, columns_[i].Name, slot + 1}, p);
        }
    }
    void Load();
    QString BlobFileName() const {
        const QString stem = fileName_.left(fileName_.lastIndexOf(u'.'));
        const QString plain = stem + QStringLiteral(".mb"), upper = stem + QStringLiteral(".MB");
        return QFileInfo::exists(plain) || !QFileInfo::exists(upper) ? plain : upper;
    }
    void OpenBlobFile();
    void ReadBlob(int column, const std::uint8_t* p, TDbValue& out);

    std::vector<TRecord> rows_;
    std::optional<std::vector<TRecord>> work_;
    bool synced_ = false;
    bool swapped_ = false;
    std::vector<paradox::TField> fields_;
    std::vector<int> offsets_;  // of each field in the record
    int recordSize_ = 0;
    int codePageNumber_ = 1252;  // as the header gives it, written back
    TDbCodePage codePage_ = TDbCodePage::Cp1252;  // the one text is read in
    QString readOnly_;
    TFileStamp stamp_;
    std::vector<int> blobColumns_;  // ascending
    std::unique_ptr<paradox::TBlobFile> blobFile_;
    TFileStamp blobStamp_;
    // Memo texts decoded once per BLOb of the memo file: records naming
    // the same BLOb take the same text. Kept up to kMemoTextBytes, and
    // while the memo file is the one read.
    std::unordered_map<std::uint64_t, std::string> memoTexts_;
    std::size_t memoTextBytes_ = 0;
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
    paradox::TTableFile table = paradox::ReadTableFile(fileName_, data, copy.isEmpty() ? size : copy.size());
    if (table.Encryption != 0)
        throw EDatabaseError(QStringLiteral("A tabela ") + fileName_ + QStringLiteral(" é cifrada e não pode ser lida."));
    codePageNumber_ = table.CodePage > 0 ? table.CodePage : 1252;
    readOnly_.clear();
    codePage_ = ReadableCodePage(static_cast<TDbCodePage>(codePageNumber_), fileName_, readOnly_);
    columns_.clear();
    offsets_.clear();
    blobColumns_.clear();
    bool unwritable = false;
    int offset = 0;
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
        case pxfMemoBLOb: case pxfFmtMemoBLOb: c.Type = ftMemo; break;
        case pxfGraphic: c.Type = ftGraphic; break;
        case pxfBCD: c.Type = ftBCD; break;
        case pxfBytes: c.Type = ftBytes; break;
        default: c.Type = ftBlob; break;
        }
        unwritable = unwritable || !paradox::IsWritableType(f.Type);
        if (paradox::IsBlobType(f.Type)) blobColumns_.push_back(static_cast<int>(i));
        columns_.push_back(c);
        offsets_.push_back(offset);
        offset += f.Length;
    }
    fields_ = std::move(table.Fields);
    recordSize_ = table.RecordSize;
    auto refuse = [&](const QString& why) {
        if (readOnly_.isEmpty()) readOnly_ = QStringLiteral("A tabela ") + fileName_ + QStringLiteral(" é somente leitura: ") + why;
    };
    if (unwritable) refuse(QStringLiteral("campos memo, BLOb, BCD e bytes do Paradox não podem ser gravados."));
    if (table.PrimaryKeyFields > 0 || table.FileType == pxfFileTypIndexDB)
        refuse(QStringLiteral("tabelas do Paradox com chave primária não podem ser gravadas."));
    if (recordSize_ > kMaxWrittenRecord)
        refuse(QStringLiteral("registros de %1 bytes (mais de %2) não podem ser gravados.").arg(recordSize_).arg(kMaxWrittenRecord));

    rows_.clear();
    rows_.reserve(table.Records.size());
    for (const std::int64_t at : table.Records)
        rows_.push_back({false, std::string(reinterpret_cast<const char*>(data + at), static_cast<std::size_t>(recordSize_))});
    // BLObs live in the ".mb" file beside the table and are read when asked
    // for; the record keeps the bytes that point at them.
    if (blobColumns_.empty()) {
        blobFile_.reset();
        memoTexts_.clear();
        memoTextBytes_ = 0;
    } else {
        OpenBlobFile();
    }
    stamp_ = stamp;
}

void TPxStore::OpenBlobFile() {
    const QString name = BlobFileName();
    blobStamp_ = TFileStamp::Of(name);  // before the read, as the table's
    blobFile_ = std::make_unique<paradox::TBlobFile>(name);
    memoTexts_.clear();
    memoTextBytes_ = 0;
}

void TPxStore::ReadBlob(int column, const std::uint8_t* p, TDbValue& out) {
    out.SetNull();
    if (!blobFile_) return;
    const paradox::TField& f = fields_[column];
    const bool memo = f.Type == pxfMemoBLOb || f.Type == pxfFmtMemoBLOb;
    const std::uint64_t key = memo ? paradox::TBlobFile::KeyOf(f, p) : 0;
    if (key != 0) {
        const auto known = memoTexts_.find(key);
        if (known != memoTexts_.end()) {
            out.Kind = TDbValue::vText;
            out.S = known->second;
            return;
        }
    }
    const auto blob = blobFile_->Read(f, p);
    if (!blob) return;
    if (!memo) {
        out.Kind = TDbValue::vBlob;
        out.S = *blob;
        return;
    }
    std::size_t len = blob->size();
    while (len > 0 && (*blob)[len - 1] == '\0') --len;
    out.Kind = TDbValue::vText;
    DecodeText(codePage_, blob->data(), len, out.S);
    if (key == 0) return;  // held in its leader
    if (memoTextBytes_ + out.S.size() > kMemoTextBytes) {
        memoTexts_.clear();
        memoTextBytes_ = 0;
    }
    memoTextBytes_ += out.S.size();
    memoTexts_.emplace(key, out.S);
}

}  // namespace

std::unique_ptr<TTableStore> OpenPxStore(const QString& fileName) {
    BootPx();
    return std::make_unique<TPxStore>(fileName);
}

void CreatePxTable(const QString& fileName, const std::vector<TStoreColumn>& columns, int) {
    BootPx();
    std::vector<paradox::TField> fields;
    auto invalid = [&](const QString& why) {
        return EDatabaseError(QStringLiteral("Definição de campos inválida para ") + fileName + QStringLiteral(": ") + why);
    };
    for (const TStoreColumn& c : columns) {
        paradox::TField f;
        switch (c.Type) {
        case ftString: case ftFixedChar: case ftWideString:
            // Wider text would be cut on every write: refused instead.
            if (c.Size > 255) throw invalid(QStringLiteral("o campo %1 teria %2 caracteres (o máximo é 255).").arg(c.Name).arg(c.Size));
            f.Type = pxfAlpha;
            f.Length = c.Size > 0 ? c.Size : 20;
            break;
        case ftSmallint: case ftWord: f.Type = pxfShort; f.Length = 2; break;
        case ftInteger: case ftLargeint: f.Type = pxfLong; f.Length = 4; break;
        case ftAutoInc: f.Type = pxfAutoInc; f.Length = 4; break;
        case ftFloat: case ftBCD: f.Type = pxfNumber; f.Length = 8; break;
        case ftCurrency: f.Type = pxfCurrency; f.Length = 8; break;
        case ftBoolean: f.Type = pxfLogical; f.Length = 1; break;
        case ftDate: f.Type = pxfDate; f.Length = 4; break;
        case ftTime: f.Type = pxfTime; f.Length = 4; break;
        case ftDateTime: case ftTimeStamp: f.Type = pxfTimestamp; f.Length = 8; break;
        default:
            throw EDatabaseError(QStringLiteral("O campo ") + c.Name +
                                 QStringLiteral(" não pode ser criado: campos memo, BLOb e bytes do Paradox não podem ser gravados."));
        }
        // A name cut or changed would match no field of the caller's.
        char32_t refused = 0;
        const QByteArray name = EncodeText(TDbCodePage::Cp1252, c.Name.trimmed(), -1, &refused);
        if (name.isEmpty()) throw invalid(QStringLiteral("um campo não tem nome."));
        if (refused) throw invalid(QStringLiteral("o nome do campo %1 não cabe na página de código 1252.").arg(c.Name));
        if (name.size() > 25) throw invalid(QStringLiteral("o nome do campo %1 passa de 25 caracteres.").arg(c.Name));
        f.Name = name.toStdString();
        fields.push_back(std::move(f));
    }
    const QString work = WorkName(fileName);
    WritePx(work, fileName, fields, 1252, {});
    if (std::rename(work.toLocal8Bit().constData(), fileName.toLocal8Bit().constData()) != 0) {
        QFile::remove(work);
        throw EDatabaseError(QStringLiteral("Não foi possível criar a tabela ") + fileName);
    }
}
