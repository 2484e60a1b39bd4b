#pragma once
// Byte streams of the engine: every file format is read and written
// through TStream. Readers get the buffered bytes at the current position
// through Peek/Skip, so line and value readers work on whole buffers.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <QByteArray>
#include <QString>

class TStream {
public:
    virtual ~TStream() = default;
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Reads up to n bytes; returns how many were read (0 at the end).
    std::size_t Read(void* dst, std::size_t n);
    // Reads exactly n bytes; raises EReadError when the stream ends first.
    void ReadBuffer(void* dst, std::size_t n);
    // Writes n bytes; raises EStreamError on failure.
    virtual void Write(const void* src, std::size_t n) = 0;

    virtual std::int64_t Position() const = 0;
    virtual void Seek(std::int64_t position) = 0;
    virtual std::int64_t Size() const = 0;
    std::int64_t Remaining() const { return Size() - Position(); }
    bool AtEnd() const { return Position() >= Size(); }

    // The bytes that can be read at the current position without a copy;
    // empty only at the end of the stream. Skip(n) consumes n bytes.
    std::span<const std::uint8_t> Peek() {
        if (cur_ == end_) Underflow();
        return {cur_, static_cast<std::size_t>(end_ - cur_)};
    }
    void Skip(std::size_t n) {
        if (n <= static_cast<std::size_t>(end_ - cur_)) cur_ += n;
        else SkipSlow(n);
    }

    // Pushes buffered writes to the device.
    virtual void Flush() {}

protected:
    // Fills the read window [cur_, end_) with the bytes at the current
    // position; leaves it empty at the end of the stream.
    virtual void Underflow() = 0;
    // Skips past the end of the read window.
    virtual void SkipSlow(std::size_t n) = 0;

    const std::uint8_t* cur_ = nullptr;
    const std::uint8_t* end_ = nullptr;
};

// A stream over bytes held in memory; it owns them.
class TMemoryStream final : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<std::uint8_t> bytes) : data_(std::move(bytes)) { SetWindow(0); }
    explicit TMemoryStream(const QByteArray& bytes) : data_(bytes.begin(), bytes.end()) { SetWindow(0); }
    explicit TMemoryStream(const std::string& bytes) : data_(bytes.begin(), bytes.end()) { SetWindow(0); }

    void Write(const void* src, std::size_t n) override;
    std::int64_t Position() const override { return static_cast<std::int64_t>(cur_ - data_.data()); }
    void Seek(std::int64_t position) override;
    std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size()); }

    const std::vector<std::uint8_t>& Data() const { return data_; }
    QByteArray ToByteArray() const {
        return QByteArray(reinterpret_cast<const char*>(data_.data()), static_cast<qsizetype>(data_.size()));
    }
    std::string ToString() const { return std::string(data_.begin(), data_.end()); }
    void Clear() { data_.clear(); SetWindow(0); }

protected:
    void Underflow() override {}
    void SkipSlow(std::size_t) override { cur_ = end_; }

private:
    void SetWindow(std::size_t pos) {
        cur_ = data_.data() + pos;
        end_ = data_.data() + data_.size();
    }
    std::vector<std::uint8_t> data_;
};

// A buffered stream over a file.
class TFileStream final : public TStream {
public:
    enum TMode { fmOpenRead, fmCreate, fmOpenReadWrite };
    // Raises EFileError naming the file and why it could not be opened or
    // created.
    TFileStream(const QString& fileName, TMode mode);
    ~TFileStream() override;

    void Write(const void* src, std::size_t n) override;
    std::int64_t Position() const override;
    void Seek(std::int64_t position) override;
    std::int64_t Size() const override;
    void Flush() override;
    // Flushes and forces the bytes to the disk (for atomic saves).
    void Sync();
    // The device starts writing each piece as it is flushed, so that a
    // large file's Sync waits for little more than its last piece.
    void SetWriteBehind(bool v) { writeBehind_ = v; }
    const QString& FileName() const { return fileName_; }

protected:
    void Underflow() override;
    void SkipSlow(std::size_t n) override;

private:
    void DropReadBuffer();
    int fd_ = -1;
    QString fileName_;
    // A large file opened for reading only is mapped whole and the read
    // window covers the mapping; otherwise the window lies in buf_.
    const std::uint8_t* map_ = nullptr;
    std::vector<std::uint8_t> buf_;
    std::int64_t bufStart_ = 0;  // file offset of buf_[0] (reading) or of the pending bytes (writing)
    std::string pending_;        // bytes written and not yet flushed
    std::int64_t size_ = 0;      // file size, including pending bytes
    bool writeBehind_ = false;
    bool readOnly_ = false;
};

// Writes a file atomically: the bytes go to a temporary file beside the
// target; Commit() flushes it to disk and renames it over the target.
// Dropped without Commit() (an error part-way), the temporary file is
// removed and the target is untouched.
class TAtomicFile {
public:
    explicit TAtomicFile(const QString& target);
    ~TAtomicFile();
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    TStream& Stream() { return *stream_; }
    // Flushes the bytes to disk and checks that the target is no folder, so
    // that what depends on the new file can be done before it is put in
    // place: after Sync, only the rename itself can fail. Raises EFileError.
    void Sync();
    // Raises EFileError when the file cannot be written or replaced.
    void Commit();

private:
    QString target_;
    QString temp_;
    TFileStream* stream_ = nullptr;
    bool synced_ = false;
    bool committed_ = false;
};

// Creates a file that must not exist yet (O_EXCL); false when it exists
// already or cannot be created.
bool CreateExclusiveFile(const QString& fileName);
