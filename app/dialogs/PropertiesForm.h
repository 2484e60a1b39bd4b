#pragma once
// The generic properties dialog: a page control whose first page is
// "Geral", and a bottom panel with "OK" (the default button, accepting) and
// "Cancelar" (rejecting). Descendants fill the pages and add their own.
#include <memory>

#include <QDialog>

class QTabWidget;
namespace Ui {
class TkoviFormPR;
}

class TkoviFormPR : public QDialog {
    Q_OBJECT
public:
    explicit TkoviFormPR(QWidget* parent = nullptr);
    ~TkoviFormPR() override;

    QTabWidget* PageControl() const;
    // The page "Geral" (the first page).
    QWidget* PageGeral() const;

private:
    std::unique_ptr<Ui::TkoviFormPR> ui_;
};
