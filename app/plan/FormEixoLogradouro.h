#pragma once
// The street-axis window (LogradourosFonte): code, name, kind and length
// of the current street axis. Unlike the other record windows it is not
// kept above the main window: a window of its own, placed over its owner
// when first shown and closed with it.
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
    // owner: the window it opens over and closes with (none: by itself).
    explicit TtrelFormEixoLogradouro(TDM& dm, QWidget* owner = nullptr);
    ~TtrelFormEixoLogradouro() override;

    Ui::TtrelFormEixoLogradouro& Form() const { return *ui_; }

private:
    std::unique_ptr<Ui::TtrelFormEixoLogradouro> ui_;
    TFieldsModel* model_;
    TRecordBinder* binder_;
};
