#pragma once
// The street-axis window (LogradourosFonte): code, name, kind and length
// of the current street axis. Like the other record windows it belongs to
// the main window (above it), so that a click on the map that shows
// another axis does not hide it.
#include <memory>

#include "app/plan/RecordForm.h"

class TFieldsModel;
class TRecordBinder;
namespace Ui {
class TtrelFormEixoLogradouro;
}

class TtrelFormEixoLogradouro : public TtrelRecordForm {
    Q_OBJECT
public:
    // owner: the window this one stays on top of (none: a window of its own).
    explicit TtrelFormEixoLogradouro(TDM& dm, QWidget* owner = nullptr);
    ~TtrelFormEixoLogradouro() override;

    Ui::TtrelFormEixoLogradouro& Form() const { return *ui_; }

private:
    std::unique_ptr<Ui::TtrelFormEixoLogradouro> ui_;
    TFieldsModel* model_;
    TRecordBinder* binder_;
};
