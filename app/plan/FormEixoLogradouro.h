#pragma once
// The street-axis window (LogradourosFonte): code, name, kind and length
// of the current street axis. It is a window of its own, not kept on top
// of the main window.
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
    explicit TtrelFormEixoLogradouro(TDM& dm);
    ~TtrelFormEixoLogradouro() override;

    Ui::TtrelFormEixoLogradouro& Form() const { return *ui_; }

private:
    std::unique_ptr<Ui::TtrelFormEixoLogradouro> ui_;
    TFieldsModel* model_;
    TRecordBinder* binder_;
};
