#pragma once
// Pictures shared by everything that shows them. A file (by its resolved
// path, size and modification time) has one TSharedPicture while anyone
// holds it: its header is read once, and its pixels are decoded per level
// on first use. Level k is the picture at 1/2^k (sides rounded up),
// k = 0..3, so a picture shown small is never held at full size. A level
// stays decoded until another level is asked for while no one holds a
// copy of it; everything goes with the last holder of the picture.
// Safe to use from several threads.
//
// Ownership: holders share the TSharedPicture (std::shared_ptr); the
// registry behind OpenSharedPicture only watches it (std::weak_ptr).
#include <array>
#include <exception>
#include <memory>
#include <mutex>

#include <QImage>
#include <QSize>
#include <QString>

#include "platform/jpeg/Picture.h"

class TSharedPicture {
public:
    static constexpr int kLevels = 4;

    // Made by OpenSharedPicture. finest: the first level within the pixel
    // bound.
    TSharedPicture(QString file, const TPictureInfo& info, int finest);

    const QString& FileName() const { return file_; }
    // The full size, upright.
    QSize Size() const { return info_.Size; }
    QSize LevelSize(int level) const;
    // The level with the fewest pixels that still covers `shown` (screen
    // pixels), but none finer than the pixel bound allows.
    int LevelFor(QSize shown) const;
    // The picture at a level, decoded on first use. A damaged JPEG gives
    // the part that was read and Damage() says what is wrong. Raises
    // EFileError or EJpegError; a level that failed raises the same again
    // without a second attempt.
    QImage Level(int level);
    QString Damage() const;
    // The pixels of the levels held decoded now.
    long long HeldPixels() const;

private:
    const QString file_;
    const TPictureInfo info_;
    const int finest_;
    mutable std::mutex mutex_;
    std::array<QImage, kLevels> levels_;
    std::array<std::exception_ptr, kLevels> failures_;
    QString damage_;
};

// The shared picture of a file (a path already resolved on this machine).
// Raises EFileError when the file cannot be read, holds no picture (or a
// damaged JPEG header), or is too large to be decoded within
// kMaxPicturePixels at any level.
std::shared_ptr<TSharedPicture> OpenSharedPicture(const QString& file);
