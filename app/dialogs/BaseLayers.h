#pragma once
// The base-layer dialog: the mapped hills and the four base layers of
// each (contours, buildings, stairways and ramps, streets), their files
// under the data folder and their legend flags. The checks and flags stay
// as the user left them between showings; after OK the caller walks the
// layer items in order (checked, legend flag, file) to load and unload
// them.
#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QListWidget;
class QListWidgetItem;

class TcvFormCarregarDadosGeograficos : public QDialog {
public:
    static constexpr int kHills = 25;
    static constexpr int kLayersPerHill = 4;

    explicit TcvFormCarregarDadosGeograficos(QWidget* parent = nullptr);

    // The hills' names, in code order (M01 first), as the plan's database
    // gives them; a leading "Morro " is dropped, since the item says it. A
    // hill without a name shows its code alone.
    void SetHillNames(const QStringList& names);

    // The layer items, parallel to ComboArquivo: item 4i + k is layer k of
    // hill i.
    int LayerCount() const { return kHills * kLayersPerHill; }
    QString LayerCaption(int i) const;
    bool LayerChecked(int i) const;
    // 1: the layer shows in the legend; 0: not.
    int LegendFlag(int i) const;
    // The layer's file on this machine (the plan's fixed folder taken
    // under the data folder).
    QString LayerFile(int i) const;
    // The file as the plan names it ("C:\TREL\Marvela\camadas\m01_vias.cam").
    static QString PlanFile(int i);

    // How many hills are checked in the hill list.
    int CheckedHills() const;

    QListWidget* CheckListRegiao() const { return regiao_; }
    QListWidget* CheckDadosGeo() const { return dados_; }
    QComboBox* ComboArquivo() const { return arquivo_; }
    QComboBox* ComboFonte() const { return fonte_; }
    QCheckBox* ChkLegenda() const { return legenda_; }

    // Closing, with either button, is refused while two or more hills are
    // checked: the user unchecks hills first.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void HillChanged(QListWidgetItem* item);
    void LayerSelected(int row);
    QListWidget *regiao_, *dados_;
    QComboBox *arquivo_, *fonte_;
    QCheckBox* legenda_;
};
