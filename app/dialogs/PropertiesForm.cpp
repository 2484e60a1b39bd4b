#include "app/dialogs/PropertiesForm.h"

#include "ui_Properties.h"

TkoviFormPR::TkoviFormPR(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TkoviFormPR>()) {
    ui_->setupUi(this);
}

TkoviFormPR::~TkoviFormPR() = default;

QTabWidget* TkoviFormPR::PageControl() const { return ui_->PageControl; }

QWidget* TkoviFormPR::PageGeral() const { return ui_->TabGeral; }
