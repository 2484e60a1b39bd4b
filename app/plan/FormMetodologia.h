#pragma once
// The methodology window: the plan's methodology chapters, one page each
// (some with the figures and photographs of the chapter on sub-pages),
// chosen in the list of the chapters' titles beside them; read in order
// each time the window is shown, up to a chapter that cannot be read (the
// ones after it are not loaded), which is told every time.
#include <memory>
#include <vector>

#include <QWidget>

class QTextEdit;
class TPictureBox;
namespace Ui {
class TtrelFormMetodologia;
}

class TtrelFormMetodologia : public QWidget {
    Q_OBJECT
public:
    // owner: the window this one stays on top of.
    explicit TtrelFormMetodologia(QWidget* owner);
    ~TtrelFormMetodologia() override;

    Ui::TtrelFormMetodologia& Form() const { return *ui_; }
    // The chapter files, in the order they are read.
    static const QStringList& ChapterFiles();
    // The control of chapter i (in the order of ChapterFiles).
    QTextEdit* Chapter(int i) const { return chapters_.at(static_cast<std::size_t>(i)); }
    // The figures and photographs of the chapters.
    const std::vector<TPictureBox*>& Figures() const { return figures_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TtrelFormMetodologia> ui_;
    std::vector<QTextEdit*> chapters_;
    std::vector<std::pair<TPictureBox*, QString>> figureFiles_;
    std::vector<TPictureBox*> figures_;
};
