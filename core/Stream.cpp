#include "core/Stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include "core/Errors.h"

namespace {

constexpr std::size_t kBufferSize = 1 << 18;

QByteArray Native(const QString& name) { return QFile::encodeName(name); }

// Why the last system call failed, as the user reads it: the usual causes
// in Portuguese, any other as the system words it.
QString Reason() {
    switch (errno) {
    case ENOENT: return QStringLiteral("O arquivo ou a pasta não existe.");
    case EACCES:
    case EPERM: return QStringLiteral("Permissão negada.");
    case ENOSPC: return QStringLiteral("Não há espaço no disco.");
    case EDQUOT: return QStringLiteral("A cota do disco se esgotou.");
    case EROFS: return QStringLiteral("O disco só permite leitura.");
    case EISDIR: return QStringLiteral("É uma pasta.");
    case ENOTDIR: return QStringLiteral("Uma parte do caminho não é uma pasta.");
    case ENAMETOOLONG: return QStringLiteral("O nome é longo demais.");
    case EIO: return QStringLiteral("Erro de entrada e saída no disco.");
    case EMFILE:
    case ENFILE: return QStringLiteral("Há arquivos abertos demais.");
    default: return QString::fromLocal8Bit(std::strerror(errno));
    }
}

}  // namespace

std::size_t TStream::Read(void* dst, std::size_t n) {
    auto* out = static_cast<std::uint8_t*>(dst);
    std::size_t done = 0;
    while (done < n) {
        const auto avail = Peek();
        if (avail.empty()) break;
        const std::size_t k = std::min(avail.size(), n - done);
        std::memcpy(out + done, avail.data(), k);
        Skip(k);
        done += k;
    }
    return done;
}

void TStream::ReadBuffer(void* dst, std::size_t n) {
    if (Read(dst, n) != n) throw EReadError(QStringLiteral("Erro de leitura: os dados terminam antes do esperado."));
}

// ---- TMemoryStream

void TMemoryStream::Write(const void* src, std::size_t n) {
    if (n == 0) return;
    const std::size_t pos = static_cast<std::size_t>(Position());
    if (pos + n > data_.size()) data_.resize(pos + n);
    std::memcpy(data_.data() + pos, src, n);
    SetWindow(pos + n);
}

void TMemoryStream::Seek(std::int64_t position) {
    if (position < 0) position = 0;
    if (static_cast<std::uint64_t>(position) > data_.size()) position = static_cast<std::int64_t>(data_.size());
    SetWindow(static_cast<std::size_t>(position));
}

// ---- TFileStream

TFileStream::TFileStream(const QString& fileName, TMode mode) : fileName_(fileName) {
    int flags = O_CLOEXEC;
    switch (mode) {
    case fmOpenRead: flags |= O_RDONLY; break;
    case fmCreate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case fmOpenReadWrite: flags |= O_RDWR; break;
    }
    fd_ = ::open(Native(fileName).constData(), flags, 0644);
    if (fd_ < 0) {
        const QString what = mode == fmCreate ? QStringLiteral("Não foi possível criar o arquivo \"%1\". %2")
                                              : QStringLiteral("Não foi possível abrir o arquivo \"%1\". %2");
        throw EFileError(what.arg(fileName, Reason()));
    }
    struct stat st {};
    if (::fstat(fd_, &st) == 0) size_ = st.st_size;
    if (S_ISDIR(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw EFileError(QStringLiteral("Não foi possível abrir o arquivo \"%1\". É uma pasta.").arg(fileName));
    }
    readOnly_ = mode == fmOpenRead;
    // A large file opened for reading is mapped; a small one is read with
    // one pread into a buffer its size (a mapping costs more to make and
    // to take down than the copy).
    if (readOnly_ && size_ > static_cast<std::int64_t>(kBufferSize) && S_ISREG(st.st_mode)) {
        void* m = ::mmap(nullptr, static_cast<std::size_t>(size_), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd_, 0);
        if (m != MAP_FAILED) {
            map_ = static_cast<const std::uint8_t*>(m);
            ::madvise(m, static_cast<std::size_t>(size_), MADV_SEQUENTIAL);
            cur_ = map_;
            end_ = map_ + size_;
            return;
        }
    }
    const bool small = readOnly_ && S_ISREG(st.st_mode) && size_ < static_cast<std::int64_t>(kBufferSize);
    buf_.resize(small ? static_cast<std::size_t>(std::max<std::int64_t>(1, size_)) : kBufferSize);
    cur_ = end_ = buf_.data();
}

TFileStream::~TFileStream() {
    if (map_ != nullptr) ::munmap(const_cast<std::uint8_t*>(map_), static_cast<std::size_t>(size_));
    if (fd_ >= 0) {
        try {
            Flush();
        } catch (...) {
            // A destructor cannot report; callers that care call Flush first.
        }
        ::close(fd_);
    }
}

void TFileStream::DropReadBuffer() {
    if (map_ != nullptr) return;
    bufStart_ += cur_ - buf_.data();
    cur_ = end_ = buf_.data();
}

void TFileStream::Flush() {
    if (pending_.empty()) return;
    const char* p = pending_.data();
    std::size_t left = pending_.size();
    std::int64_t at = bufStart_;
    while (left > 0) {
        const ssize_t w = ::pwrite(fd_, p, left, at);
        if (w < 0) {
            if (errno == EINTR) continue;
            throw EStreamError(QStringLiteral("Erro de gravação: %1").arg(Reason()));
        }
        p += w;
        at += w;
        left -= static_cast<std::size_t>(w);
    }
#ifdef __linux__
    // A hint: errors show at the Sync that follows.
    if (writeBehind_) ::sync_file_range(fd_, bufStart_, at - bufStart_, SYNC_FILE_RANGE_WRITE);
#endif
    bufStart_ = at;
    pending_.clear();
}

void TFileStream::Sync() {
    Flush();
    if (::fsync(fd_) != 0) throw EStreamError(QStringLiteral("Erro de gravação: %1").arg(Reason()));
}

void TFileStream::Write(const void* src, std::size_t n) {
    if (n == 0) return;
    if (readOnly_)
        throw EStreamError(QStringLiteral("Erro de gravação: \"%1\" foi aberto só para leitura.").arg(fileName_));
    DropReadBuffer();
    pending_.append(static_cast<const char*>(src), n);
    size_ = std::max(size_, bufStart_ + static_cast<std::int64_t>(pending_.size()));
    if (pending_.size() >= kBufferSize) Flush();
}

std::int64_t TFileStream::Position() const {
    if (map_ != nullptr) return cur_ - map_;
    return bufStart_ + (cur_ - buf_.data()) + static_cast<std::int64_t>(pending_.size());
}

std::int64_t TFileStream::Size() const { return size_; }

void TFileStream::Seek(std::int64_t position) {
    if (position < 0) position = 0;
    if (position > size_) position = size_;
    if (map_ != nullptr) {
        cur_ = map_ + position;
        return;
    }
    Flush();
    const std::int64_t len = end_ - buf_.data();
    if (position >= bufStart_ && position <= bufStart_ + len) {
        cur_ = buf_.data() + (position - bufStart_);
        return;
    }
    bufStart_ = position;
    cur_ = end_ = buf_.data();
}

void TFileStream::Underflow() {
    if (map_ != nullptr) return;
    Flush();
    DropReadBuffer();
    for (;;) {
        const ssize_t r = ::pread(fd_, buf_.data(), buf_.size(), bufStart_);
        if (r < 0) {
            if (errno == EINTR) continue;
            throw EStreamError(QStringLiteral("Erro de leitura: %1").arg(Reason()));
        }
        cur_ = buf_.data();
        end_ = buf_.data() + r;
        return;
    }
}

void TFileStream::SkipSlow(std::size_t n) {
    while (n > 0) {
        if (cur_ == end_) {
            Underflow();
            if (cur_ == end_) return;
        }
        const std::size_t k = std::min(n, static_cast<std::size_t>(end_ - cur_));
        cur_ += k;
        n -= k;
    }
}

// ---- TAtomicFile

TAtomicFile::TAtomicFile(const QString& target) : target_(target) {
    const QFileInfo fi(target);
    const QString base = fi.absolutePath() + u'/' + u'.' + fi.fileName() + QStringLiteral(".tmp");
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp_ = base + QString::number(QRandomGenerator::global()->generate(), 16);
        const int fd = ::open(Native(temp_).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            stream_ = new TFileStream(temp_, TFileStream::fmOpenReadWrite);
            stream_->SetWriteBehind(true);
            return;
        }
        if (errno != EEXIST) break;
    }
    throw EFileError(QStringLiteral("Não foi possível criar o arquivo \"%1\". %2").arg(target, Reason()));
}

TAtomicFile::~TAtomicFile() {
    delete stream_;
    if (!committed_) ::unlink(Native(temp_).constData());
}

void TAtomicFile::Sync() {
    try {
        stream_->Sync();
    } catch (const EEngineError& e) {
        throw EFileError(QStringLiteral("Não foi possível gravar o arquivo \"%1\". %2").arg(target_, e.Message()));
    }
    if (QFileInfo(target_).isDir())
        throw EFileError(QStringLiteral("Não foi possível gravar o arquivo \"%1\". É uma pasta.").arg(target_));
    synced_ = true;
}

void TAtomicFile::Commit() {
    if (!synced_) Sync();
    delete stream_;
    stream_ = nullptr;
    // Keep the permissions of the file being replaced.
    struct stat st {};
    if (::stat(Native(target_).constData(), &st) == 0) ::chmod(Native(temp_).constData(), st.st_mode & 07777);
    if (::rename(Native(temp_).constData(), Native(target_).constData()) != 0)
        throw EFileError(QStringLiteral("Não foi possível gravar o arquivo \"%1\". %2").arg(target_, Reason()));
    committed_ = true;
    // Make the rename itself durable.
    const QByteArray dir = Native(QFileInfo(target_).absolutePath());
    const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

bool CreateExclusiveFile(const QString& fileName) {
    const int fd = ::open(Native(fileName).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}
