#include "platform/db/DbfStore.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <fcntl.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <shapefil.h>

#include "engine/core/Paths.h"
#include "platform/db/DbError.h"

namespace {

// ---- In-memory file hooks: the whole file is read once, then records are
// copied out of the buffer instead of seeking and reading the disk.

struct TMemFile {
    std::vector<char> Data;
    SAOffset Pos = 0;
};

SAFile MemOpen(const char* name, const char* access) {
    if (std::strchr(access, 'w') || std::strchr(access, '+')) return nullptr;
    QFile f(QString::fromLocal8Bit(name));
    if (!f.open(QIODevice::ReadOnly)) return nullptr;
    auto* m = new TMemFile;
    const qint64 size = f.size();
    m->Data.resize(static_cast<std::size_t>(size));
    if (size > 0 && f.read(m->Data.data(), size) != size) {
        delete m;
        return nullptr;
    }
    return reinterpret_cast<SAFile>(m);
}
SAOffset MemRead(void* p, SAOffset size, SAOffset nmemb, SAFile file) {
    auto* m = reinterpret_cast<TMemFile*>(file);
    if (size == 0) return 0;
    const SAOffset left = m->Pos < m->Data.size() ? m->Data.size() - m->Pos : 0;
    const SAOffset n = std::min(nmemb, left / size);
    std::memcpy(p, m->Data.data() + m->Pos, n * size);
    m->Pos += n * size;
    return n;
}
SAOffset MemWrite(void*, SAOffset, SAOffset, SAFile) { return 0; }
SAOffset MemSeek(SAFile file, SAOffset offset, int whence) {
    auto* m = reinterpret_cast<TMemFile*>(file);
    if (whence == SEEK_SET) m->Pos = offset;
    else if (whence == SEEK_CUR) m->Pos += offset;
    else m->Pos = m->Data.size() + offset;
    return 0;
}
SAOffset MemTell(SAFile file) { return reinterpret_cast<TMemFile*>(file)->Pos; }
int MemFlush(SAFile) { return 0; }
int MemClose(SAFile file) {
    delete reinterpret_cast<TMemFile*>(file);
    return 0;
}
int MemRemove(const char*) { return -1; }
void QuietError(const char*) {}

SAHooks MemoryHooks() {
    SAHooks h;
    SASetupDefaultHooks(&h);
    h.FOpen = MemOpen;
    h.FRead = MemRead;
    h.FWrite = MemWrite;
    h.FSeek = MemSeek;
    h.FTell = MemTell;
    h.FFlush = MemFlush;
    h.FClose = MemClose;
    h.Remove = MemRemove;
    h.Error = QuietError;
    return h;
}

SAHooks DiskHooks() {
    SAHooks h;
    SASetupDefaultHooks(&h);
    h.Error = QuietError;
    return h;
}

QByteArray Local(const QString& s) { return s.toLocal8Bit(); }

bool CopyFile(const QString& from, const QString& to) {
    QFile::remove(to);
    return QFile::copy(from, to);
}

bool SyncFile(const QString& name) {
    const int fd = ::open(Local(name).constData(), O_RDWR);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

std::uint32_t Le32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return u[0] | (u[1] << 8) | (u[2] << 16) | (static_cast<std::uint32_t>(u[3]) << 24);
}
void PutLe32(char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

constexpr int kMemoBlock = 512;

// ---- The memo file: blocks of 512 bytes; block 0 holds the next free
// block number. dBase III memos run to a 0x1A byte; dBase IV blocks open
// with FF FF 08 00 and the length (header included).

class TMemoFile {
public:
    bool Load(const QString& name) {
        name_ = name;
        QFile f(name);
        if (!f.open(QIODevice::ReadOnly)) return false;
        data_ = f.readAll();
        return true;
    }
    QByteArray Read(std::uint32_t block) const {
        const qint64 pos = static_cast<qint64>(block) * blockSize();
        if (block == 0 || pos >= data_.size()) return QByteArray();
        const char* p = data_.constData() + pos;
        const qint64 left = data_.size() - pos;
        if (left >= 8 && static_cast<unsigned char>(p[0]) == 0xFF &&
            static_cast<unsigned char>(p[1]) == 0xFF && p[2] == 0x08 && p[3] == 0x00) {
            qint64 len = static_cast<qint64>(Le32(p + 4)) - 8;
            len = std::max<qint64>(0, std::min(len, left - 8));
            return QByteArray(p + 8, static_cast<int>(len));
        }
        qint64 n = 0;
        while (n < left && p[n] != 0x1A) ++n;
        return QByteArray(p, static_cast<int>(n));
    }
    int blockSize() const {
        if (data_.size() >= 22) {
            const int bs = static_cast<unsigned char>(data_[20]) | (static_cast<unsigned char>(data_[21]) << 8);
            if (bs >= 64 && bs % 64 == 0 && bigHeaders_) return bs;
        }
        return kMemoBlock;
    }
    void SetStyle(bool dBaseIV) { bigHeaders_ = dBaseIV; }
    // Appends a memo and returns its block (the file on disk is written
    // at once: it is a working copy).
    std::uint32_t Append(const QByteArray& text) {
        const int bs = blockSize();
        if (data_.size() < bs) {
            data_.resize(bs, '\0');
            PutLe32(data_.data(), 1);
        }
        // New memos go at the end of the file, whatever the stored next free
        // block says: a damaged one past the end would grow the file to it.
        const auto next = static_cast<std::uint32_t>((data_.size() + bs - 1) / bs);
        QByteArray body;
        if (bigHeaders_) {
            body.resize(8);
            body[0] = char(0xFF); body[1] = char(0xFF); body[2] = 0x08; body[3] = 0x00;
            PutLe32(body.data() + 4, static_cast<std::uint32_t>(text.size() + 8));
            body += text;
        } else {
            body = text;
            body += "\x1A\x1A";
        }
        const int blocks = static_cast<int>((body.size() + bs - 1) / bs);
        body.resize(blocks * bs, '\0');
        data_.resize(static_cast<qint64>(next) * bs, '\0');
        data_ += body;
        PutLe32(data_.data(), next + static_cast<std::uint32_t>(blocks));
        dirty_ = true;
        return next;
    }
    bool Save() {
        if (!dirty_) return true;
        QFile f(name_);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
        if (f.write(data_) != data_.size()) return false;
        f.close();
        dirty_ = false;
        return SyncFile(name_);
    }
    const QString& Name() const { return name_; }
    void SetName(const QString& n) { name_ = n; }

private:
    QString name_;
    QByteArray data_;
    bool bigHeaders_ = true;
    bool dirty_ = false;
};

// The working copy beside the file; shapelib wants the extension last.
QString BackupName(const QString& original);
QString WorkName(const QString& original) {
    const int dot = original.lastIndexOf(u'.');
    const int slash = original.lastIndexOf(u'/');
    if (dot <= slash) return original + QStringLiteral("~kzw");
    return original.left(dot) + QStringLiteral("~kzw") + original.mid(dot);
}

QString BackupName(const QString& original) {
    const QString w = WorkName(original);
    return w.left(w.lastIndexOf(QStringLiteral("~kzw"))) + QStringLiteral("~kzb") + w.mid(w.lastIndexOf(QStringLiteral("~kzw")) + 4);
}

class TDbfStore final : public TTableStore {
public:
    explicit TDbfStore(const QString& fileName) { fileName_ = fileName; Load(); }
    ~TDbfStore() override {
        Rollback();
        if (read_) DBFClose(read_);
    }

    void Refresh() override {
        if (work_) return;
        if (TFileStamp::Of(fileName_) != stamp_) Load();
    }
    std::int64_t SlotCount() override { return DBFGetRecordCount(Handle()); }
    bool IsDeleted(std::int64_t slot) override {
        // The record buffer holds the deletion flag in its first byte.
        const char* t = Tuple(slot);
        return !t || t[0] == '*';
    }
    void ReadValue(std::int64_t slot, int column, TDbValue& out) override;
    // An index of the loaded file, built on the first lookup of a column;
    // while a write is open the caller scans.
    bool KeepsIndexes() const override { return true; }
    bool FindEqual(int column, const TEqualKey& key, std::vector<std::int64_t>& found) override {
        if (work_ || column < 0 || column >= static_cast<int>(columns_.size())) return false;
        auto it = indexes_.find(column);
        if (it == indexes_.end()) {
            auto index = std::make_unique<TValueIndex>();
            TDbValue v;
            const std::int64_t count = SlotCount();
            for (std::int64_t slot = 0; index && slot < count; ++slot) {
                if (IsDeleted(slot)) continue;
                ReadValue(slot, column, v);
                if (!index->Add(slot, v)) index.reset();
            }
            if (index) index->Finish();
            it = indexes_.emplace(column, std::move(index)).first;
        }
        if (!it->second) return false;
        it->second->Find(key, found);
        return true;
    }

    void Update(std::int64_t slot, const std::vector<TDbValue>& values) override {
        BeginWrite();
        if (slot < 0 || slot >= DBFGetRecordCount(work_)) throw EDatabaseError(QStringLiteral("Registro inexistente."));
        WriteRecord(static_cast<int>(slot), values);
    }
    std::int64_t Insert(const std::vector<TDbValue>& values) override {
        BeginWrite();
        const int slot = DBFGetRecordCount(work_);
        WriteRecord(slot, values);
        return slot;
    }
    void Delete(std::int64_t slot) override {
        BeginWrite();
        if (!DBFMarkRecordDeleted(work_, static_cast<int>(slot), 1))
            throw EDatabaseError(QStringLiteral("Não foi possível excluir o registro."));
    }
    // Sync is the commit point: the working copies take the files' places
    // and the originals are kept aside until Commit (Rollback puts them
    // back), so a transaction over several tables can still be undone.
    void Sync() override {
        if (!work_) return;
        DBFClose(work_);
        work_ = nullptr;
        bool ok = SyncFile(WorkName(fileName_));
        if (memo_) ok = memo_->Save() && ok;
        const bool memoWork = memo_ && QFile::exists(WorkName(memoName_));
        if (ok) {
            hadMemo_ = memoWork && QFile::exists(memoName_);
            ok = std::rename(Local(fileName_).constData(), Local(BackupName(fileName_)).constData()) == 0;
            if (ok && hadMemo_ && std::rename(Local(memoName_).constData(), Local(BackupName(memoName_)).constData()) != 0) {
                std::rename(Local(BackupName(fileName_)).constData(), Local(fileName_).constData());
                ok = false;
            }
            if (ok) {
                swapped_ = true;
                ok = std::rename(Local(WorkName(fileName_)).constData(), Local(fileName_).constData()) == 0;
                if (ok && memoWork) ok = std::rename(Local(WorkName(memoName_)).constData(), Local(memoName_).constData()) == 0;
            }
        }
        synced_ = true;
        if (!ok) {
            Rollback();
            throw EDatabaseError(QStringLiteral("Não foi possível gravar a tabela ") + fileName_);
        }
    }
    void Commit() override {
        if (work_) Sync();
        if (!synced_) return;
        synced_ = false;
        if (swapped_) {
            QFile::remove(BackupName(fileName_));
            if (hadMemo_) QFile::remove(BackupName(memoName_));
        }
        swapped_ = hadMemo_ = false;
        Load();
    }
    void Rollback() override {
        if (work_) DBFClose(work_);
        const bool had = work_ || synced_;
        work_ = nullptr;
        synced_ = false;
        if (!had) return;
        if (swapped_) {
            // Put the originals back.
            std::rename(Local(BackupName(fileName_)).constData(), Local(fileName_).constData());
            if (hadMemo_) std::rename(Local(BackupName(memoName_)).constData(), Local(memoName_).constData());
            else if (!memoName_.isEmpty() && memoCreated_) QFile::remove(memoName_);
        }
        swapped_ = hadMemo_ = false;
        QFile::remove(WorkName(fileName_));
        if (!memoName_.isEmpty()) QFile::remove(WorkName(memoName_));
        try {
            Load();
        } catch (const EEngineError&) {
            LoadMemo();
        }
    }

private:
    DBFHandle Handle() const { return work_ ? work_ : read_; }

    void Load() {
        indexes_.clear();
        if (read_) DBFClose(read_);
        read_ = nullptr;
        // Stamped before the read: a change made while reading shows at the
        // next refresh.
        stamp_ = TFileStamp::Of(fileName_);
        SAHooks hooks = MemoryHooks();
        read_ = DBFOpenLL(Local(fileName_).constData(), "rb", &hooks);
        if (!read_) throw EDatabaseError(QStringLiteral("Não foi possível abrir a tabela ") + fileName_);
        {
            QFile f(fileName_);
            char version = 0;
            if (f.open(QIODevice::ReadOnly)) f.getChar(&version);
            version_ = static_cast<unsigned char>(version);
        }
        const int ldid = read_->iLanguageDriver;
        codePage_ = CodePageOfLanguageDriver(ldid);
        if (ldid == 0) {
            QFile cpg(ChangeFileExt(fileName_, QStringLiteral(".cpg")));
            if (cpg.open(QIODevice::ReadOnly)) codePage_ = CodePageOfCpgText(cpg.readAll(), codePage_);
        }
        columns_.clear();
        native_.clear();
        bool hasMemo = false;
        for (int i = 0; i < DBFGetFieldCount(read_); ++i) {
            char name[XBASE_FLDNAME_LEN_READ + 1] = {};
            int width = 0, decimals = 0;
            DBFGetFieldInfo(read_, i, name, &width, &decimals);
            const char type = DBFGetNativeFieldType(read_, i);
            TStoreColumn c;
            std::string decoded;
            DecodeText(codePage_, name, std::strlen(name), decoded);
            c.Name = QString::fromStdString(decoded);
            c.Decimals = decimals;
            switch (type) {
            case 'C': c.Type = ftString; c.Size = width; break;
            case 'N':
                if (decimals == 0 && width <= 4) c.Type = ftSmallint;
                else if (decimals == 0 && width <= 9) c.Type = ftInteger;
                else if (decimals == 0 && width <= 18) c.Type = ftLargeint;
                else c.Type = ftFloat;
                break;
            case 'F': case 'O': c.Type = ftFloat; break;
            case 'I': case '+': c.Type = ftInteger; break;
            case 'L': c.Type = ftBoolean; break;
            case 'D': c.Type = ftDate; break;
            case 'M': c.Type = ftMemo; hasMemo = true; break;
            default: c.Type = ftString; c.Size = width; break;
            }
            columns_.push_back(c);
            native_.push_back(type);
        }
        memoName_ = hasMemo ? MemoFileOf(fileName_) : QString();
        LoadMemo();
        lastSlot_ = -1;
    }

    void LoadMemo() {
        memo_.reset();
        if (memoName_.isEmpty()) return;
        memo_ = std::make_unique<TMemoFile>();
        memo_->SetStyle(version_ != 0x83);
        if (!memo_->Load(memoName_)) memo_->SetName(memoName_);
    }

    void BeginWrite() {
        if (work_) return;
        if (synced_) throw EDatabaseError(QStringLiteral("Transação já encerrada."));
        const QString wname = WorkName(fileName_);
        if (!CopyFile(fileName_, wname))
            throw EDatabaseError(QStringLiteral("Não foi possível gravar a tabela ") + fileName_);
        if (memo_) {
            memoCreated_ = !QFile::exists(memoName_);
            if (QFile::exists(memoName_) && !CopyFile(memoName_, WorkName(memoName_))) {
                QFile::remove(wname);
                throw EDatabaseError(QStringLiteral("Não foi possível gravar o arquivo ") + memoName_);
            }
            memo_->SetName(WorkName(memoName_));
        }
        SAHooks hooks = DiskHooks();
        work_ = DBFOpenLL(Local(wname).constData(), "rb+", &hooks);
        if (!work_) {
            QFile::remove(wname);
            if (memo_) QFile::remove(WorkName(memoName_));
            LoadMemo();
            throw EDatabaseError(QStringLiteral("Não foi possível gravar a tabela ") + fileName_);
        }
        DBFSetWriteEndOfFileChar(work_, 1);
        lastSlot_ = -1;
    }

    void WriteRecord(int slot, const std::vector<TDbValue>& values);
    const char* Tuple(std::int64_t slot);

    DBFHandle read_ = nullptr;
    DBFHandle work_ = nullptr;
    bool synced_ = false;
    bool swapped_ = false;
    bool hadMemo_ = false;
    bool memoCreated_ = false;
    TFileStamp stamp_;
    unsigned char version_ = 0;
    TDbCodePage codePage_ = TDbCodePage::Cp1252;
    std::vector<char> native_;
    QString memoName_;
    std::unique_ptr<TMemoFile> memo_;
    std::int64_t lastSlot_ = -1;
    const char* tuple_ = nullptr;
    std::string scratch_;
    // By column; null where a value cannot be indexed.
    std::map<int, std::unique_ptr<TValueIndex>> indexes_;
};

bool Blank(const char* p, int n) {
    for (int i = 0; i < n; ++i)
        if (p[i] != ' ' && p[i] != '\0') return false;
    return true;
}

void Trim(const char*& p, int& n) {
    while (n > 0 && (*p == ' ' || *p == '\0')) { ++p; --n; }
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0')) --n;
}

const char* TDbfStore::Tuple(std::int64_t slot) {
    if (work_) {
        lastSlot_ = -1;
        tuple_ = DBFReadTuple(work_, static_cast<int>(slot));
        return tuple_;
    }
    if (slot != lastSlot_) {
        // The file is held in memory whole: point into it instead of
        // copying the record out through the file hooks.
        tuple_ = nullptr;
        lastSlot_ = -1;
        if (slot >= 0 && slot < read_->nRecords) {
            const auto* m = reinterpret_cast<const TMemFile*>(read_->fp);
            const std::size_t at = static_cast<std::size_t>(read_->nHeaderLength) +
                                   static_cast<std::size_t>(slot) * static_cast<std::size_t>(read_->nRecordLength);
            if (at + static_cast<std::size_t>(read_->nRecordLength) <= m->Data.size()) {
                tuple_ = m->Data.data() + at;
                lastSlot_ = slot;
            }
        }
    }
    return tuple_;
}

void TDbfStore::ReadValue(std::int64_t slot, int column, TDbValue& out) {
    DBFHandle h = Handle();
    Tuple(slot);
    if (!tuple_ || column < 0 || column >= static_cast<int>(native_.size())) {
        out.SetNull();
        return;
    }
    const char* p = tuple_ + h->panFieldOffset[column];
    int n = h->panFieldSize[column];
    const TStoreColumn& c = columns_[column];
    switch (native_[column]) {
    case 'N': case 'F': case 'O': case 'I': case '+': {
        Trim(p, n);
        if (n == 0 || *p == '*') { out.SetNull(); return; }
        if (c.Type != ftFloat) {
            std::int64_t v = 0;
            auto r = std::from_chars(p, p + n, v);
            if (r.ec == std::errc() && r.ptr == p + n) { out.SetInt(v); return; }
        }
        double d = 0;
        const char* q = p;
        if (*q == '+') ++q;
        auto r = std::from_chars(q, p + n, d);
        if (r.ec != std::errc() || !std::isfinite(d)) { out.SetNull(); return; }
        if (c.Type == ftFloat) out.SetFloat(d);
        // Text such as "1e300" in an integer field: a number no integer
        // holds reads as NULL, like a field dBase filled with "*".
        else if (d >= -9.2e18 && d <= 9.2e18) out.SetInt(static_cast<std::int64_t>(d));
        else out.SetNull();
        return;
    }
    case 'L':
        Trim(p, n);
        if (n == 0) { out.SetNull(); return; }
        if (std::strchr("TtYy", *p)) out.SetInt(1);
        else if (std::strchr("FfNn", *p)) out.SetInt(0);
        else out.SetNull();
        return;
    case 'D':
        Trim(p, n);
        if (n != 8 || std::strncmp(p, "00000000", 8) == 0) { out.SetNull(); return; }
        out.Kind = TDbValue::vText;
        out.S.assign(p, 4);
        out.S += '-';
        out.S.append(p + 4, 2);
        out.S += '-';
        out.S.append(p + 6, 2);
        return;
    case 'M': {
        Trim(p, n);
        std::uint32_t block = 0;
        if (n == 0 || std::from_chars(p, p + n, block).ec != std::errc() || block == 0 || !memo_) {
            out.SetNull();
            return;
        }
        const QByteArray bytes = memo_->Read(block);
        DecodeText(codePage_, bytes.constData(), static_cast<std::size_t>(bytes.size()), out.S);
        out.Kind = TDbValue::vText;
        return;
    }
    default:
        while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0')) --n;
        if (n == 0) { out.SetNull(); return; }
        DecodeText(codePage_, p, static_cast<std::size_t>(n), out.S);
        out.Kind = TDbValue::vText;
        return;
    }
}

QString FieldError(const TStoreColumn& c) {
    return QStringLiteral("Valor inválido para o campo ") + c.Name + QStringLiteral(".");
}

void TDbfStore::WriteRecord(int slot, const std::vector<TDbValue>& values) {
    const int count = static_cast<int>(native_.size());
    std::string text;
    for (int i = 0; i < count; ++i) {
        const TStoreColumn& c = columns_[i];
        const TDbValue empty;
        const TDbValue& v = i < static_cast<int>(values.size()) ? values[i] : empty;
        const int width = work_->panFieldSize[i];
        text.clear();
        if (!v.IsNull()) {
            switch (native_[i]) {
            case 'N': case 'F': case 'O': case 'I': case '+': {
                double d = 0;
                if (v.Kind == TDbValue::vInt) d = static_cast<double>(v.I);
                else if (v.Kind == TDbValue::vFloat) d = v.D;
                else {
                    std::string s = v.S;
                    while (!s.empty() && s.back() == ' ') s.pop_back();
                    std::size_t b = s.find_first_not_of(' ');
                    if (b == std::string::npos) { text.clear(); break; }
                    s = s.substr(b);
                    std::replace(s.begin(), s.end(), ',', '.');
                    auto r = std::from_chars(s.data(), s.data() + s.size(), d);
                    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) throw EDatabaseError(FieldError(c));
                }
                char buf[64];
                std::to_chars_result r;
                if (v.Kind == TDbValue::vInt && c.Decimals == 0)
                    r = std::to_chars(buf, buf + sizeof buf, v.I);
                else
                    r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed, c.Decimals);
                if (r.ec != std::errc()) throw EDatabaseError(FieldError(c));
                const int len = static_cast<int>(r.ptr - buf);
                if (len > width)
                    throw EDatabaseError(QStringLiteral("Valor fora dos limites do campo ") + c.Name + QStringLiteral("."));
                text.assign(static_cast<std::size_t>(width - len), ' ');
                text.append(buf, static_cast<std::size_t>(len));
                break;
            }
            case 'L': {
                bool b = false;
                if (v.Kind == TDbValue::vInt) b = v.I != 0;
                else if (v.Kind == TDbValue::vFloat) b = v.D != 0;
                else b = !v.S.empty() && std::strchr("TtYy1", v.S[0]);
                text = b ? "T" : "F";
                break;
            }
            case 'D': {
                std::string s;
                for (char ch : v.S)
                    if (ch >= '0' && ch <= '9') s += ch;
                if (v.Kind != TDbValue::vText || s.size() < 8) throw EDatabaseError(FieldError(c));
                text = s.substr(0, 8);
                break;
            }
            case 'M': {
                const QString s = v.Kind == TDbValue::vText ? QString::fromStdString(v.S)
                                  : v.Kind == TDbValue::vInt ? QString::number(v.I)
                                                             : QString::number(v.D, 'g', 17);
                if (s.isEmpty()) break;
                if (!memo_) throw EDatabaseError(QStringLiteral("Arquivo de memo ausente: ") + fileName_);
                const std::uint32_t block = memo_->Append(EncodeText(codePage_, s));
                const std::string num = std::to_string(block);
                text.assign(static_cast<std::size_t>(std::max(0, width - static_cast<int>(num.size()))), ' ');
                text += num;
                break;
            }
            default: {
                const QString s = v.Kind == TDbValue::vText ? QString::fromStdString(v.S)
                                  : v.Kind == TDbValue::vInt ? QString::number(v.I)
                                                             : QString::number(v.D, 'g', 17);
                QByteArray bytes = EncodeText(codePage_, s);
                if (bytes.size() > width) bytes.truncate(width);
                text.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
                break;
            }
            }
        }
        if (!DBFWriteAttributeDirectly(work_, slot, i, text.data()))
            throw EDatabaseError(QStringLiteral("Não foi possível gravar o campo ") + c.Name + QStringLiteral("."));
    }
    if (slot >= 0 && DBFIsRecordDeleted(work_, slot)) DBFMarkRecordDeleted(work_, slot, 0);
}

}  // namespace

QString MemoFileOf(const QString& dbfFileName) {
    const QString plain = ChangeFileExt(dbfFileName, QStringLiteral(".dbt"));
    if (QFile::exists(plain)) return plain;
    const QString upper = ChangeFileExt(dbfFileName, QStringLiteral(".DBT"));
    if (QFile::exists(upper)) return upper;
    const QString found = FindPathNoCase(plain);
    return found.isEmpty() ? plain : found;
}

std::unique_ptr<TTableStore> OpenDbfStore(const QString& fileName) {
    return std::make_unique<TDbfStore>(fileName);
}

void CreateDbfTable(const QString& fileName, const std::vector<TStoreColumn>& columns, int level) {
    if (columns.empty()) throw EDatabaseError(QStringLiteral("A tabela precisa de ao menos um campo."));
    const QString work = WorkName(fileName);
    QFile::remove(work);
    SAHooks hooks = DiskHooks();
    DBFHandle h = DBFCreateLL(Local(work).constData(), "LDID/3", &hooks);
    if (!h) throw EDatabaseError(QStringLiteral("Não foi possível criar a tabela ") + fileName);
    bool memo = false;
    bool ok = true;
    for (const TStoreColumn& c : columns) {
        const QByteArray name = EncodeText(TDbCodePage::Cp1252, c.Name.left(10));
        char type = 'C';
        int width = 0, dec = 0;
        switch (c.Type) {
        case ftString: case ftFixedChar: case ftWideString: case ftGuid:
            type = 'C'; width = std::clamp(c.Size > 0 ? c.Size : 20, 1, 254); break;
        case ftSmallint: case ftWord: type = 'N'; width = 6; break;
        case ftInteger: case ftAutoInc: type = 'N'; width = 11; break;
        case ftLargeint: type = 'N'; width = 18; break;
        case ftFloat: type = 'N'; width = 19; dec = 8; break;
        case ftCurrency: case ftBCD: case ftFMTBcd: type = 'N'; width = 19; dec = 4; break;
        case ftBoolean: type = 'L'; width = 1; break;
        case ftDate: case ftDateTime: case ftTimeStamp: type = 'D'; width = 8; break;
        case ftTime: type = 'C'; width = 8; break;
        case ftMemo: case ftFmtMemo: case ftBlob: case ftGraphic:
            type = 'M'; width = 10; memo = true; break;
        default: type = 'C'; width = std::clamp(c.Size > 0 ? c.Size : 20, 1, 254); break;
        }
        if (DBFAddNativeFieldType(h, name.constData(), type, width, dec) < 0) ok = false;
    }
    DBFClose(h);
    if (!ok) {
        QFile::remove(work);
        throw EDatabaseError(QStringLiteral("Definição de campos inválida para ") + fileName);
    }
    if (memo) {
        // Version byte: dBase III with memo 0x83, dBase IV with memo 0x8B.
        QFile f(work);
        if (f.open(QIODevice::ReadWrite)) {
            f.seek(0);
            f.putChar(level <= 3 ? char(0x83) : char(0x8B));
            f.close();
        }
        QByteArray header(kMemoBlock, '\0');
        PutLe32(header.data(), 1);
        if (level > 3) {
            header[16] = 0x00;
            header[20] = char(kMemoBlock & 0xFF);
            header[21] = char(kMemoBlock >> 8);
        }
        const QString memoName = ChangeFileExt(fileName, QStringLiteral(".dbt"));
        QFile m(memoName);
        if (!m.open(QIODevice::WriteOnly | QIODevice::Truncate) || m.write(header) != header.size()) {
            QFile::remove(work);
            throw EDatabaseError(QStringLiteral("Não foi possível criar o arquivo ") + memoName);
        }
    }
    SyncFile(work);
    if (std::rename(Local(work).constData(), Local(fileName).constData()) != 0) {
        QFile::remove(work);
        throw EDatabaseError(QStringLiteral("Não foi possível criar a tabela ") + fileName);
    }
}
