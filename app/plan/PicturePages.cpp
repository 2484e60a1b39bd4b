#include "app/plan/PicturePages.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/dialogs/DataFolder.h"
#include "app/dialogs/HotLink.h"
#include "app/dialogs/Modal.h"
#include "app/plan/DataControls.h"
#include "core/Errors.h"
#include "platform/db/DataSource.h"
#include "platform/db/Fields.h"
#include "platform/jpeg/Picture.h"

namespace {
// The smallest size a picture is decoded for, whatever the control's size
// before the window is laid out.
constexpr QSize kDecodeAtLeast(480, 320);
}  // namespace

// ---- TPictureBox

TPictureBox::TPictureBox(QWidget* parent) : QWidget(parent) {
    setMinimumSize(160, 120);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setCursor(Qt::PointingHandCursor);
    grow_.setSingleShot(true);
    grow_.setInterval(150);
    connect(&grow_, &QTimer::timeout, this, [this] {
        if (file_.isEmpty()) return;
        try {
            image_ = LoadPicture(file_, DecodeSize());
            update();
        } catch (const EEngineError&) {
            // Keeps the smaller picture it had.
        }
    });
}

QSize TPictureBox::DecodeSize() const {
    return size().expandedTo(kDecodeAtLeast) * devicePixelRatioF();
}

void TPictureBox::LoadFile(const QString& file) {
    Clear();
    file_ = file;
    try {
        image_ = LoadPicture(file, DecodeSize());
    } catch (const EEngineError&) {
        failed_ = true;
        update();
        throw;
    }
    update();
}

void TPictureBox::SetImage(const QImage& image) {
    grow_.stop();
    file_.clear();
    failed_ = false;
    image_ = image;
    update();
}

void TPictureBox::Clear() { SetImage(QImage()); }

void TPictureBox::paintEvent(QPaintEvent*) {
    if (failed_) {
        QPainter p(this);
        p.setPen(palette().color(QPalette::PlaceholderText));
        p.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                   QStringLiteral("Não foi possível carregar a imagem\n%1").arg(QFileInfo(file_).fileName()));
        return;
    }
    if (image_.isNull()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSize shown = image_.size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown);
    p.drawImage(target, image_);
}

void TPictureBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit Clicked();
}

void TPictureBox::resizeEvent(QResizeEvent*) {
    if (file_.isEmpty() || image_.isNull()) return;
    const QSize shown = image_.size().scaled(size() * devicePixelRatioF(), Qt::KeepAspectRatio);
    if (shown.width() > image_.width()) grow_.start();
}

// ---- TPicturePage

TPicturePage::TPicturePage(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Prévia (Clique para Ampliar):"), this));
    picture_ = new TPictureBox(this);
    picture_->setObjectName(QStringLiteral("Picture"));
    layout->addWidget(picture_, 1);
    layout->addWidget(new QLabel(QStringLiteral("Comentário:"), this));
    comment_ = new QPlainTextEdit(this);
    comment_->setObjectName(QStringLiteral("Comment"));
    comment_->setReadOnly(true);
    comment_->setMaximumHeight(comment_->fontMetrics().lineSpacing() * 4 + 12);
    layout->addWidget(comment_);
}

// ---- TPictureSet

TPictureSet::TPictureSet(QTabWidget& tabs, TDataSource& source, TRecordBinder& binder, const QString& folder,
                         const QString& caption, const QString& field, const QString& comment, int count)
    : QObject(&tabs), tabs_(tabs), source_(source), folder_(folder), field_(field) {
    for (int i = 0; i < count; ++i) {
        auto* page = new TPicturePage(&tabs);
        const QString n = QString::number(i + 1);
        page->setObjectName(field + n);
        tabs.addTab(page, caption + u' ' + n);
        binder.Bind(page->Comment(), comment + n);
        // The file the current record names now, whatever the page shows.
        connect(page->Picture(), &TPictureBox::Clicked, this, [this, i] { ShowPicture(tabs_.window(), File(i)); });
        pages_.push_back(page);
    }
}

bool TPictureSet::PageVisible(int i) const { return tabs_.isTabVisible(tabs_.indexOf(Page(i))); }

QString TPictureSet::File(int i) const {
    TDataSet* ds = source_.DataSet();
    if (!ds || !ds->Active() || ds->IsEmpty()) return QString();
    TField* f = ds->FindField(field_ + QString::number(i + 1));
    return f ? DataFile(folder_, f->AsString()) : QString();
}

QStringList TPictureSet::Load() {
    QStringList damaged;
    for (int i = 0; i < Count(); ++i) {
        TPicturePage* page = Page(i);
        const QString file = File(i);
        const bool shown = !file.isEmpty() && QFileInfo(file).isFile();
        if (shown) {
            try {
                page->Picture()->LoadFile(file);
            } catch (const EEngineError&) {
                damaged << QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath());
            }
        } else {
            page->Picture()->Clear();
        }
        tabs_.setTabVisible(tabs_.indexOf(page), shown);
    }
    return damaged;
}

bool TPictureSet::ShowsCurrent() const {
    for (int i = 0; i < Count(); ++i) {
        QString want = File(i);
        if (!want.isEmpty() && !QFileInfo(want).isFile()) want.clear();
        if (want != (PageVisible(i) ? Page(i)->Picture()->File() : QString())) return false;
    }
    return true;
}

// ---- ShowPicture

void ShowPicture(QWidget* parent, const QString& file) {
    TlibFormHotLink viewer(parent);
    try {
        if (file.isEmpty()) throw EEngineError(QString());
        viewer.LoadFromFile(file);
    } catch (const EEngineError&) {
        QString text = QStringLiteral("Não foi possível carregar imagem!");
        if (!file.isEmpty()) text += u'\n' + QDir::toNativeSeparators(file);
        ShowMessage(parent, text);
        return;
    }
    viewer.setProperty("PictureFile", file);
    RunModal(viewer);
}

