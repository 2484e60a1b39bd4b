#pragma once
// The plan's main window: the generic map window turned into the plan's
// viewer. It keeps the view, the layer list, the identify panel, the status
// bar and the view's tools; hides the commands that open, change or print
// a map; and adds the plan's own: identify opens the record window of the
// object (sector, hill, street axis), the hill search, the loading and
// unloading of a hill's base layers, the plan's text and record windows,
// and the active layer saved as a shapefile.
//
// Ownership: the window owns the plan's data module and record windows
// (TPlanForms, freed before the window's own parts), its dialogs (data
// folder, the two searches, the base layers, the layer save) and the redraw
// timer. The view owns the base layers loaded into it.
#include <memory>

#include <QString>
#include <QStringList>

#include "app/ViewWin.h"

class QAction;
class QFileDialog;
class QMenu;
class QPushButton;
class QTimer;
class QVariant;
class TPlanForms;
class TThemeLayer;
class TcvFormCarregarDadosGeograficos;
class TlibFormLocalizar;
class TlibPathDialog;
class TtrelFormLocalizarMorro;
class TtrelFormLocalizarSetor;

// The program's title: the window's caption, and the name under which its
// settings are kept ("Software\Ardo\" + title).
inline constexpr const char* kTrelTitle = "KOVI Zelto - TREL - Inventário";

// Layer captions the window looks up in the view.
namespace trel {
inline const QString kSetores = QStringLiteral("Setores de Risco");
inline const QString kLimitesMorros = QStringLiteral("Limites dos Morros");
inline const QString kEixos = QStringLiteral("Eixos de Logradouros");
inline const QString kAreasRisco = QStringLiteral("Áreas de Risco");
inline const QString kRemocoes = QStringLiteral("Remoções");
inline const QString kMorrosRotulos = QStringLiteral("Morros (rótulos)");
inline const QString kSetoresRotulos = QStringLiteral("Setores de Risco (rótulos)");
}  // namespace trel

class TtrelViewWin : public TkovisViewWin {
    Q_OBJECT
public:
    explicit TtrelViewWin(QWidget* parent = nullptr);
    ~TtrelViewWin() override;

    TPlanForms& Forms() const { return *forms_; }
    TlibPathDialog& PathDialog() const { return *pathDialog_; }
    // The search and base-layer dialogs, made on first use and kept.
    TtrelFormLocalizarMorro& LocalizarMorro();
    TtrelFormLocalizarSetor& LocalizarSetor();
    TcvFormCarregarDadosGeograficos& CarregarDados();
    // The window's own save dialogs, in place of the generic window's: the
    // map as an image ("Salvar Mapa como Imagem") and the layer as a
    // shapefile; each made on its first use (a file dialog takes long to
    // make) and kept.
    QFileDialog& SaveMapa();
    QFileDialog& SaveCamada();
    QTimer& TimerRedraw() const { return *timerRedraw_; }

    // The first show, in its steps (FormShow runs them in turn; the
    // start-up benchmark times them one by one):
    // - the data folder, then the plan's data module; false when the user
    //   gave no folder (the window stays empty);
    bool OpenDataFolder();
    // - the command line's map and the default map, then the layer list's
    //   click handler (no row is pressed yet: identify waits for one);
    void OpenStartMap();
    // - the view on the whole map, drawn;
    void ZoomAllAndRedraw();
    // - the about box (modal), then the redraw timer once more.
    void ShowAboutOnce();
    void FormShow() override;
    // The default map as it lies in the data folder, when the folder holds
    // it: its path below a folder of the settings' "Source" (or below the
    // plan's fixed folder) taken under the data folder. Else as set.
    QString StartMapFile(const QString& defaultMap) const override;

    // ---- handlers
    void ViewVisualObjectIdentify(TVisualObject* object) override;
    void Localizar2Click();
    void CarregarDescarregarBaseClick();
    void Camada_SalvarComoExecute() override;
    void Mapa_SalvarComoExecute() override;
    void Camada1Click();
    void TimerRedrawTimer();
    void Exibir_TelaCheiaExecute() override;
    // The help page of this window's own commands.
    void Ajuda_TopicosExecute() override;
    void LeaveFullScreen() override;

    // Opens one base layer file into the view at the position; one that is
    // passed over (no file chosen, or it failed) leaves its reason for the
    // message that follows the walk.
    void LoadBaseLayer(const QString& caption, bool showLegend, const QString& fileName, int position);
    // Takes the layer at the index out of the view and frees it.
    void UnloadBaseLayer(int index);

protected:
    // The generic question; a table the user does not give while base
    // layers load is named with the layers that could not be read.
    bool ChooseTableFile(QString& database, QString& name, const QString& path, bool alias) override;

private:
    void SetupPlanActions();
    void SetupToolBar();
    void SetupMenus();
    // Moves the layer of that caption to the top of the list (when there).
    void MoveToTop(const QString& caption);
    // The view's theme layer of the caption; nullptr when none.
    TThemeLayer* LayerByCaption(const QString& caption) const;
    // True when the plan's database is open; else says that the searches
    // cannot run.
    bool PlanDataOpen();
    // Runs a search dialog of a record window; its chosen field and value
    // after OK.
    bool RunSearch(TlibFormLocalizar& dialog, QString& field, QVariant& value);
    // The active layer's attribute table on the object's record; the
    // table, or nullptr when the layer has no open table or the record is
    // not found. Raises what the table raises (a table without "ID").
    TDataSet* LocateRecord(TLayer& layer, const TVisualObject& object);

    std::unique_ptr<TPlanForms> forms_;
    std::unique_ptr<TlibPathDialog> pathDialog_;
    std::unique_ptr<TtrelFormLocalizarMorro> localizarMorro_;
    std::unique_ptr<TtrelFormLocalizarSetor> localizarSetor_;
    std::unique_ptr<TcvFormCarregarDadosGeograficos> carregarDados_;
    std::unique_ptr<QFileDialog> saveCamada_, saveMapa_;
    QTimer* timerRedraw_;
    QAction* escape_;
    QAction* carregarBase_;
    // Reasons why base layers were passed over during one walk.
    QStringList baseErrors_;
    // Set while a base layer opens; the missing table the user did not
    // give meanwhile.
    bool loadingBase_ = false;
    QString missingTable_;
};
