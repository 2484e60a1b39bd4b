#pragma once
// The photograph pages of the record windows: one sub-page per picture
// field of the current record, shown exactly when its file (in a media
// folder under the data folder) exists, with the picture decoded at the
// size shown and its comment; a click on the picture opens it whole. A
// file that cannot be read keeps its page, which says so beside its
// comment; the window names it in a message.
#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>

class QPlainTextEdit;
class QTabWidget;
class TDataSet;
class TDataSource;
class TRecordBinder;

// A picture shown whole inside the control, scaled proportionally and
// centred. It keeps the file it came from and decodes it again, larger,
// when the control grows past the decoded size.
class TPictureBox : public QWidget {
    Q_OBJECT
public:
    explicit TPictureBox(QWidget* parent = nullptr);

    // Reads the file at the size shown (LoadPicture); raises what that
    // raises, and then the box keeps the file's name and shows that it
    // could not be read (Failed).
    void LoadFile(const QString& file);
    void SetImage(const QImage& image);
    void Clear();
    const QImage& Image() const { return image_; }
    const QString& File() const { return file_; }
    bool Failed() const { return failed_; }
    // The size the picture is decoded to cover.
    QSize DecodeSize() const;

signals:
    void Clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage image_;
    QString file_;
    bool failed_ = false;
    QTimer grow_;
};

// One photograph page: "Prévia (Clique para Ampliar):", the picture,
// "Comentário:" and the read-only comment.
class TPicturePage : public QWidget {
    Q_OBJECT
public:
    explicit TPicturePage(QWidget* parent = nullptr);
    TPictureBox* Picture() const { return picture_; }
    QPlainTextEdit* Comment() const { return comment_; }

private:
    TPictureBox* picture_;
    QPlainTextEdit* comment_;
};

// The pages "<caption> 1" .. "<caption> N" of a tab widget, for the picture
// fields "<field>1" .. and the comment fields "<comment>1" .. of a data
// source's current record, files in a folder under the data folder.
class TPictureSet : public QObject {
    Q_OBJECT
public:
    // The set adds its pages to tabs and binds the comments through the
    // binder; it owns neither.
    TPictureSet(QTabWidget& tabs, TDataSource& source, TRecordBinder& binder, const QString& folder,
                const QString& caption, const QString& field, const QString& comment, int count);

    int Count() const { return static_cast<int>(pages_.size()); }
    TPicturePage* Page(int i) const { return pages_.at(static_cast<std::size_t>(i)); }
    bool PageVisible(int i) const;
    // The file that picture i of the current record names; empty when the
    // name is empty or refused (absolute, or climbing out of the folder).
    QString File(int i) const;
    // Loads every picture of the current record, each on its own: a page
    // is shown exactly when its file exists. Answers the files that exist
    // and could not be read, by their full paths (their pages say so).
    QStringList Load();
    // Whether the pages show the files of the current record.
    bool ShowsCurrent() const;

private:
    QTabWidget& tabs_;
    TDataSource& source_;
    QString folder_, field_;
    std::vector<TPicturePage*> pages_;
};

// Opens a picture file whole in the picture viewer, modally, over the
// parent window; a file that cannot be read (or no file) is reported in a
// message.
void ShowPicture(QWidget* parent, const QString& file);
