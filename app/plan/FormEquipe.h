#pragma once
// The staff window: the plan's staff text, read when the window is shown.
#include <memory>

#include <QWidget>

namespace Ui {
class TtrelFormEquipe;
}

class TtrelFormEquipe : public QWidget {
    Q_OBJECT
public:
    // owner: the window this one stays on top of.
    explicit TtrelFormEquipe(QWidget* owner);
    ~TtrelFormEquipe() override;

    Ui::TtrelFormEquipe& Form() const { return *ui_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TtrelFormEquipe> ui_;
};
