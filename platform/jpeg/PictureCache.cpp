#include "platform/jpeg/PictureCache.h"

#include <algorithm>
#include <utility>

#include <QDateTime>
#include <QFileInfo>
#include <QHash>

#include "core/Errors.h"

TSharedPicture::TSharedPicture(QString file, const TPictureInfo& info, int finest)
    : file_(std::move(file)), info_(info), finest_(finest) {}

QSize TSharedPicture::LevelSize(int level) const {
    const int scale = 1 << std::clamp(level, 0, kLevels - 1);
    return {(info_.Size.width() + scale - 1) / scale, (info_.Size.height() + scale - 1) / scale};
}

int TSharedPicture::LevelFor(QSize shown) const {
    int level = 0;
    for (int k = kLevels - 1; k > 0; --k) {
        const QSize s = LevelSize(k);
        if (s.width() >= shown.width() && s.height() >= shown.height()) {
            level = k;
            break;
        }
    }
    return std::max(level, finest_);
}

QImage TSharedPicture::Level(int level) {
    level = std::clamp(level, finest_, kLevels - 1);
    std::lock_guard lock(mutex_);
    if (failures_[level]) std::rethrow_exception(failures_[level]);
    if (levels_[level].isNull()) {
        // A picture read whole anyway is scaled from a finer level at hand
        // rather than read again.
        QImage finer;
        for (int k = level - 1; k >= finest_ && finer.isNull() && !info_.ScalesInDecoder; --k) finer = levels_[k];
        try {
            if (!finer.isNull()) {
                levels_[level] = finer.scaled(LevelSize(level), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            } else {
                QString damage;
                levels_[level] = LoadPicture(file_, LevelSize(level), &damage);
                if (!damage.isEmpty()) damage_ = damage;
            }
        } catch (...) {
            failures_[level] = std::current_exception();
            throw;
        }
    }
    // Levels no one holds any more are let go.
    for (int k = 0; k < kLevels; ++k)
        if (k != level && levels_[k].isDetached()) levels_[k] = QImage();
    return levels_[level];
}

QString TSharedPicture::Damage() const {
    std::lock_guard lock(mutex_);
    return damage_;
}

long long TSharedPicture::HeldPixels() const {
    std::lock_guard lock(mutex_);
    long long n = 0;
    for (const QImage& image : levels_) n += 1LL * image.width() * image.height();
    return n;
}

std::shared_ptr<TSharedPicture> OpenSharedPicture(const QString& file) {
    static std::mutex mutex;
    static QHash<QString, std::weak_ptr<TSharedPicture>> open;

    const QFileInfo fi(file);
    const QString path = fi.canonicalFilePath();
    if (path.isEmpty() || !fi.isFile()) throw EFileError(QStringLiteral("Cannot open image \"%1\"").arg(file));
    const QString key = QStringLiteral("%1\n%2\n%3").arg(path).arg(fi.size()).arg(fi.lastModified().toMSecsSinceEpoch());

    std::lock_guard lock(mutex);
    if (auto held = open.value(key).lock()) return held;
    TPictureInfo info;
    try {
        info = ReadPictureInfo(path);
    } catch (const EFileError&) {
        throw;
    } catch (const EEngineError& e) {
        throw EFileError(e.Message());
    }
    int finest = 0;
    while (finest < TSharedPicture::kLevels && info.DecodePixels(1 << finest) > kMaxPicturePixels) ++finest;
    if (finest == TSharedPicture::kLevels)
        throw EFileError(QStringLiteral("\"%1\" is too large to be shown (%2 x %3 pixels)")
                             .arg(file)
                             .arg(info.Size.width())
                             .arg(info.Size.height()));
    auto picture = std::make_shared<TSharedPicture>(path, info, finest);
    for (auto it = open.begin(); it != open.end();) it = it->expired() ? open.erase(it) : std::next(it);
    open.insert(key, picture);
    return picture;
}
