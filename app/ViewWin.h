#pragma once
// The generic map window: a map view, the layer list with the scale box
// and the identify panel, the status bar, two tool bars, the menus and
// their actions. It opens a drawing file, shows its layers, offers the
// view's zooms and tools, asks for a layer or table file that is missing
// and shows a wait box while each layer loads.
//
// Ownership: the window owns the view (through the form), the wait box
// and, as child widgets, the attribute-table window and the query-result
// windows; the view owns its layers, a theme layer its table.
#include <memory>
#include <utility>
#include <vector>

#include <QMainWindow>
#include <QStringList>

#include "core/Errors.h"
#include "engine/view/DrawingTypes.h"

class QAction;
class QFileDialog;
class QLabel;
class TDataSet;
class TDataSource;
class TGISDrawing;
class TLayer;
class TLayers;
class TThemeLayer;
class TVisualObject;
class TkoviFormCTTB;
class TkoviFormCTTBR;
class TkoviFormWait;
namespace Ui {
class TkovisViewWin;
}

// Raised by the missing-file hooks to abort a layer's opening without a
// message (the user did not supply the file).
class ELayerAbort : public EAbort {};

// The address of the program's web page.
inline constexpr const char* kKoviWebAddress = "https://kovizelto.example.org/";

class TkovisViewWin : public QMainWindow {
    Q_OBJECT
public:
    explicit TkovisViewWin(QWidget* parent = nullptr);
    ~TkovisViewWin() override;

    Ui::TkovisViewWin& Form() const { return *ui_; }
    TGISDrawing* View() const;
    // Status panels 0..5: X, Y, polar, measure, object count, selected.
    QLabel* StatusPanel(int index) const { return panels_[index]; }
    TkoviFormWait* WaitBox() const { return wait_.get(); }
    // The map and layer open dialogs, made on first use and kept.
    QFileDialog& OpenView();
    QFileDialog& OpenCamada();
    // The attribute-table window, made with the window.
    TkoviFormCTTB* FormCTTB() const { return formCTTB_; }
    // Carries the active layer's attribute table to the attribute-table
    // window's grid.
    TDataSource* DataSourceCamada = nullptr;

    // The program's arguments for the start-up opening (without the
    // program's name); set before the window is first shown.
    QStringList Arguments;
    // Runs the start-up opening (command line, then the default map of the
    // settings; a default map that is not there is named) and
    // UpdateActions; the first show runs it once.
    virtual void FormShow();
    // The file the settings' default map names on this machine; the
    // generic window takes it as it stands.
    virtual QString StartMapFile(const QString& defaultMap) const { return defaultMap; }

    // Closes the view if active and opens the map; the window's caption
    // becomes caption. Raises what the opening raises (an EKoviError; the
    // view stays closed and the caption goes back to the title).
    void OpenMap(const QString& path, const QString& caption);
    // Sets the enabled and checked states of the actions.
    virtual void UpdateActions();
    // The tool button of the view's current command pressed, the others
    // not (none when the command has no button).
    void ShowCurrentTool();
    // The layer list shows the view's layers again.
    void RefreshContents();
    // A new, empty theme layer of the type, owned by the view: appended
    // when the view has no layer, else inserted at the position; it becomes
    // the active layer and its default symbology gets a colour by the
    // type's last digit (0 points, 1 lines, 2 areas, 3 texts). The caller
    // names its file and opens it.
    TThemeLayer* AddLayer(int layerType, int position);

    // ---- handlers
    void Mapa_AbrirExecute();
    // The map properties dialog; on OK its values go to the view.
    void Mapa_PropriedadesExecute();
    void Exibir_TabelaExecute(bool show);
    // A new query-results window for the view, shown.
    TkoviFormCTTBR* Exibir_ResultConsultaExecute();
    // The attribute-table window takes the view and the active layer's
    // table; the status bar shows the active layer's counts.
    void FormActivate();
    // The map, or the active layer, saved as a picture (app/SaveImage.h);
    // a window with dialogs of its own replaces them.
    virtual void Mapa_SalvarComoExecute();
    virtual void Camada_SalvarComoExecute();
    // The print dialog, then the map on the printer (or a PDF file).
    void Mapa_ImprimirExecute();
    virtual void Exibir_TelaCheiaExecute();
    virtual void LeaveFullScreen();
    void Exibir_AtualizarExecute();
    // The previous window of the view's history; with none, the view's
    // error is shown.
    void Visualizar_AproxAnteriorExecute();
    void Camada_LimparSelecaoExecute();
    // The help page of this window's commands.
    virtual void Ajuda_TopicosExecute();
    void Ajuda_KoviWebExecute();
    void ContentsClick();
    void ViewClick();
    void ViewMouseMove(int X, int Y);
    void ViewMeasure(double measure);
    void ViewProgress(int position, int maximum);
    void LayerProgress(TLayer& layer, int position, int maximum);
    void ViewAfterZoom();
    // Enter in the scale box.
    void EscalaKeyPress();
    virtual void ViewVisualObjectIdentify(TVisualObject* object);
    void FillIdentifyPanel();
    // The hint of the identify panel's row (0 = first field).
    QString IdentifyHint(int row) const;

    // ---- layer hooks
    void ViewBeforeOpenLayer(TLayers& list, TLayer& layer, bool& skip);
    // Hooks a layer about to open (progress, the missing layer file and
    // table questions, the wait box's closing) and shows the wait box.
    void HookLayer(TLayer& layer);
    void LayerAfterOpen(TLayer& layer);
    void LayerFileMissing(TLayer& layer);
    // True when the user cancelled (the file is missing and none chosen).
    bool AskLayerFile(TLayer& layer);
    // The attribute table's place (folder or alias, and name) before it
    // opens; the user may give another. Drops the layer and aborts its
    // opening when the user does not.
    void TableFileMissing(TLayer& layer, QString& database, QString& name);
    bool AskTableFile(TLayer& layer, QString& database, QString& name);
    // The table is found nowhere (path names it, alias: database is an
    // alias): the table-choice dialog, preset to it. True when the user
    // cancelled; else database and name are the user's choice.
    virtual bool ChooseTableFile(QString& database, QString& name, const QString& path, bool alias);

    // The attribute table of a layer: a theme layer's own table, opened
    // with the layer at the place its layer file names (a folder stored
    // relative, or none, is the layer file's). nullptr when the layer has
    // none open (a plain layer has none).
    TDataSet* AttributeTable(TLayer* layer) const;
    TDataSet* ActiveTable() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The tool actions and the commands they make current.
    std::vector<std::pair<TDrawingCommand, QAction*>> ToolActions() const;
    void SetupView();
    void SetupActions();
    void SetupStatusBar();
    void ShowCounts();
    // Drops a layer whose file or table the user did not supply.
    void DropLayer(TLayer& layer);
    void LayerTablePlace(TThemeLayer& layer, QString& database, QString& name);
    void ThemeTableBeforeOpen(TThemeLayer& layer);
    void ShowPendingErrors(const QString& raised);

    std::unique_ptr<Ui::TkovisViewWin> ui_;
    std::unique_ptr<TkoviFormWait> wait_;
    std::unique_ptr<QFileDialog> openView_, openCamada_, saveMapa_, saveCamada_;
    QLabel* panels_[6] = {};
    // Escape, while the window is full screen.
    QAction* leaveFullScreen_ = nullptr;
    TkoviFormCTTB* formCTTB_ = nullptr;
    QStringList pendingErrors_;
    bool shown_ = false;
    int gauge_ = -1;
};

// The generic window made at start-up; nullptr before.
extern TkovisViewWin* vws;
