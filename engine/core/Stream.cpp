#include "engine/core/Stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include "engine/core/Errors.h"

namespace {

constexpr std::size_t kBufferSize = 1 << 16;

QByteArray Native(const QString& name) { return QFile::encodeName(name); }

QString Reason() { return QString::fromLocal8Bit(std::strerror(errno)); }

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
    if (Read(dst, n) != n) throw EReadError(QStringLiteral("Stream read error"));
}

// ---- TMemoryStream

void TMemoryStream::Write(const void* src, std::size_t n) {
    if (n == 0) return;
    if (pos_ + n > data_.size()) data_.resize(pos_ + n);
    std::memcpy(data_.data() + pos_, src, n);
    pos_ += n;
}

void TMemoryStream::Seek(std::int64_t position) {
    if (position < 0) position = 0;
    if (static_cast<std::uint64_t>(position) > data_.size()) position = static_cast<std::int64_t>(data_.size());
    pos_ = static_cast<std::size_t>(position);
}

void TMemoryStream::Skip(std::size_t n) { pos_ = std::min(pos_ + n, data_.size()); }

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
        const QString what = mode == fmCreate ? QStringLiteral("Cannot create file \"%1\". %2")
                                              : QStringLiteral("Cannot open file \"%1\". %2");
        throw EFileError(what.arg(fileName, Reason()));
    }
    struct stat st {};
    if (::fstat(fd_, &st) == 0) size_ = st.st_size;
    if (S_ISDIR(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw EFileError(QStringLiteral("Cannot open file \"%1\". Is a directory").arg(fileName));
    }
    buf_.resize(kBufferSize);
}

TFileStream::~TFileStream() {
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
    if (bufLen_ == 0) return;
    bufStart_ += static_cast<std::int64_t>(bufPos_);
    bufPos_ = bufLen_ = 0;
}

void TFileStream::Flush() {
    if (pending_.empty()) return;
    const char* p = pending_.data();
    std::size_t left = pending_.size();
    if (::lseek(fd_, bufStart_, SEEK_SET) < 0)
        throw EStreamError(QStringLiteral("Stream write error: %1").arg(Reason()));
    while (left > 0) {
        const ssize_t w = ::write(fd_, p, left);
        if (w < 0) {
            if (errno == EINTR) continue;
            throw EStreamError(QStringLiteral("Stream write error: %1").arg(Reason()));
        }
        p += w;
        left -= static_cast<std::size_t>(w);
    }
    bufStart_ += static_cast<std::int64_t>(pending_.size());
    pending_.clear();
}

void TFileStream::Sync() {
    Flush();
    if (::fsync(fd_) != 0) throw EStreamError(QStringLiteral("Stream write error: %1").arg(Reason()));
}

void TFileStream::Write(const void* src, std::size_t n) {
    if (n == 0) return;
    DropReadBuffer();
    pending_.append(static_cast<const char*>(src), n);
    size_ = std::max(size_, bufStart_ + static_cast<std::int64_t>(pending_.size()));
    if (pending_.size() >= kBufferSize) Flush();
}

std::int64_t TFileStream::Position() const {
    return bufStart_ + static_cast<std::int64_t>(bufPos_) + static_cast<std::int64_t>(pending_.size());
}

std::int64_t TFileStream::Size() const { return size_; }

void TFileStream::Seek(std::int64_t position) {
    Flush();
    if (position < 0) position = 0;
    if (position > size_) position = size_;
    const std::int64_t here = bufStart_;
    if (bufLen_ > 0 && position >= here && position <= here + static_cast<std::int64_t>(bufLen_)) {
        bufPos_ = static_cast<std::size_t>(position - here);
        return;
    }
    bufPos_ = bufLen_ = 0;
    bufStart_ = position;
}

std::span<const std::uint8_t> TFileStream::Peek() {
    if (bufPos_ < bufLen_) return {buf_.data() + bufPos_, bufLen_ - bufPos_};
    Flush();
    DropReadBuffer();
    for (;;) {
        const ssize_t r = ::pread(fd_, buf_.data(), buf_.size(), bufStart_);
        if (r < 0) {
            if (errno == EINTR) continue;
            throw EStreamError(QStringLiteral("Stream read error: %1").arg(Reason()));
        }
        bufLen_ = static_cast<std::size_t>(r);
        bufPos_ = 0;
        break;
    }
    return {buf_.data(), bufLen_};
}

void TFileStream::Skip(std::size_t n) {
    while (n > 0) {
        if (bufPos_ >= bufLen_ && Peek().empty()) return;
        const std::size_t k = std::min(n, bufLen_ - bufPos_);
        bufPos_ += k;
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
            return;
        }
        if (errno != EEXIST) break;
    }
    throw EFileError(QStringLiteral("Cannot create file \"%1\". %2").arg(target, Reason()));
}

TAtomicFile::~TAtomicFile() {
    delete stream_;
    if (!committed_) ::unlink(Native(temp_).constData());
}

void TAtomicFile::Commit() {
    try {
        static_cast<TFileStream*>(stream_)->Sync();
    } catch (const EEngineError& e) {
        throw EFileError(QStringLiteral("Cannot write file \"%1\". %2").arg(target_, e.Message()));
    }
    delete stream_;
    stream_ = nullptr;
    // Keep the permissions of the file being replaced.
    struct stat st {};
    if (::stat(Native(target_).constData(), &st) == 0) ::chmod(Native(temp_).constData(), st.st_mode & 07777);
    if (::rename(Native(temp_).constData(), Native(target_).constData()) != 0)
        throw EFileError(QStringLiteral("Cannot write file \"%1\". %2").arg(target_, Reason()));
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
