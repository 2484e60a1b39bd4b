#include "app/ViewWin.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include "app/HelpWindow.h"
#include "app/MapProperties.h"
#include "app/SaveImage.h"
#include "app/TableWindows.h"
#include "app/dialogs/Modal.h"
#include "app/dialogs/SmallForms.h"
#include "app/dialogs/TableDialogs.h"
#include "app/dialogs/WaitBox.h"
#include "app/print/MapPrint.h"
#include "coords/MapProj.h"
#include "core/Paths.h"
#include "core/UserNumbers.h"
#include "engine/layers/Layers.h"
#include "engine/objects/VisualObject.h"
#include "engine/theme/ThemeLayer.h"
#include "engine/view/GISDrawing.h"
#include "engine/view/LayerList.h"
#include "platform/db/DataSource.h"
#include "platform/db/DbError.h"
#include "platform/db/Session.h"
#include "platform/settings/Settings.h"
#include "ui_ViewWin.h"

TkovisViewWin* vws = nullptr;

// The icons of the tool bars live in the library's resources.
static void InitIconResources() { Q_INIT_RESOURCE(icons); }

namespace {

// A status panel of one width whatever its text, so that the panels do not
// move while the pointer does; it yields only to a window narrower than
// all of them.
class TStatusPanel : public QLabel {
public:
    TStatusPanel(const QString& caption, int width, QWidget* parent) : QLabel(caption, parent), width_(width) {
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    }
    QSize sizeHint() const override { return {width_, QLabel::sizeHint().height()}; }
    QSize minimumSizeHint() const override { return {std::min(width_, 20), QLabel::minimumSizeHint().height()}; }

private:
    int width_;
};

// A colour that shows on the view's white background.
constexpr TColor kNewLayerColor = TColor(0x00A05000);

bool FileExists(const QString& path) {
    return QFileInfo::exists(path) || !FindPathNoCase(path).isEmpty();
}

// A tool window of the map window floats over its lower left corner when
// first shown.
void PlaceToolWindow(QMainWindow& window, QDockWidget& tool) {
    tool.setFloating(true);
    tool.resize(520, 300);
    tool.move(window.mapToGlobal(QPoint(40, std::max(40, window.height() - 340))));
}

}  // namespace

TkovisViewWin::TkovisViewWin(QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::TkovisViewWin>()), wait_(std::make_unique<TkoviFormWait>()) {
    InitIconResources();
    ui_->setupUi(this);
    setWindowTitle(QApplication::applicationName());
    Arguments = QCoreApplication::arguments().mid(1);

    // The file dialogs are made on their first use (a file dialog takes
    // longer to make than the rest of the window).

    ui_->SplitterMain->setStretchFactor(0, 0);
    ui_->SplitterMain->setStretchFactor(1, 1);
    ui_->SplitterMain->setSizes({200, 700});
    // The layer list takes most of the height; the identify panel below it.
    ui_->Panel2->setStretchFactor(0, 3);
    ui_->Panel2->setStretchFactor(1, 1);
    ui_->Panel2->setSizes({450, 150});
    ui_->ValueListEditor->viewport()->installEventFilter(this);
    ui_->ValueListEditor->verticalHeader()->setDefaultSectionSize(15);
    // Field names as wide as they are; the values take the rest.
    ui_->ValueListEditor->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    ui_->ValueListEditor->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(9);
    ui_->ValueListEditor->setFont(font);

    SetupView();
    SetupActions();
    SetupStatusBar();
    // The attribute-table window floats beside the window, hidden until
    // asked for; it docks at the left, beside the layer list, or below.
    DataSourceCamada = new TDataSource(this);
    formCTTB_ = new TkoviFormCTTB(this);
    addDockWidget(Qt::LeftDockWidgetArea, formCTTB_);
    PlaceToolWindow(*this, *formCTTB_);
    formCTTB_->hide();
    formCTTB_->SetDrawing(View());
    formCTTB_->BindGrid(DataSourceCamada);
    connect(formCTTB_, &QDockWidget::visibilityChanged, this, [this] { UpdateActions(); });
    UpdateActions();
}

TkovisViewWin::~TkovisViewWin() {
    if (vws == this) vws = nullptr;
    formCTTB_->BindGrid(nullptr);
}

TGISDrawing* TkovisViewWin::View() const { return ui_->View; }

namespace {

// The window's dialogs that open an existing file, made on first use.
QFileDialog& OpenFileDialog(std::unique_ptr<QFileDialog>& dialog, QWidget* parent, const QString& title,
                            const QStringList& filters, const QString& suffix) {
    if (!dialog) {
        dialog = std::make_unique<QFileDialog>(parent, title);
        dialog->setNameFilters(filters);
        dialog->setDefaultSuffix(suffix);
        dialog->setFileMode(QFileDialog::ExistingFile);
    }
    return *dialog;
}

}  // namespace

QFileDialog& TkovisViewWin::OpenView() {
    return OpenFileDialog(openView_, this, QStringLiteral("Adicionar Mapa"),
                          {QStringLiteral("Arquivos de Mapa (*.map)"), QStringLiteral("Todos os Arquivos (*)")},
                          QStringLiteral("map"));
}

QFileDialog& TkovisViewWin::OpenCamada() {
    return OpenFileDialog(openCamada_, this, QStringLiteral("Adicionar Camada"),
                          {QStringLiteral("Arquivos de Camada (*.cam)"), QStringLiteral("Todos Arquivos (*)")},
                          QStringLiteral("cam"));
}

void TkovisViewWin::SetupView() {
    TGISDrawing* v = View();
    v->SetCommands(CommandBit(dcZoomSelected) | CommandBit(dcZoomActiveLayer) | CommandBit(dcZoomIn) |
                   CommandBit(dcZoomOut) | CommandBit(dcZoomWindow) | CommandBit(dcZoomAll) |
                   CommandBit(dcZoomExtents) | CommandBit(dcZoomPrevious) | CommandBit(dcPan) |
                   CommandBit(dcDistance) | CommandBit(dcArea) | CommandBit(dcSelect) | CommandBit(dcIdentify));
    v->SetSeparatedDrawThread(false);
    v->SetToolCursor(1);
    v->SetSnapTolerance(5);
    v->SetRedrawTolerance(3);
    v->SetCoordinateUnits(cuLocal);
    v->SetDistanceUnits(duMeter);
    v->SetAngleUnits(auDecimalDegrees);
    v->SetDistancePrecision(0);
    v->SetAnglePrecision(0);
    // The application's default datum, no projection until a map says.
    v->SetEllipsoid(kDefaultEllipsoid);
    v->SetDatum(kDefaultDatum);
    v->SetProjection(-1);
    v->Layers().OnBeforeAdd = [this](TLayers& list, TLayer& layer, bool& skip) { ViewBeforeOpenLayer(list, layer, skip); };
    v->OnVisualObjectIdentify = [this](TDrawing*, TVisualObject& object) { ViewVisualObjectIdentify(&object); };
    v->OnMeasure = [this](TDrawing*, double measure) { ViewMeasure(measure); };
    v->OnProgress = [this](TDrawing*, int position, int maximum) { ViewProgress(position, maximum); };
    v->AfterZoom = [this](TDrawing*) { ViewAfterZoom(); };
    v->OnClick = [this](TDrawing*) { ViewClick(); };
    v->OnMouseMove = [this](TDrawing*, Qt::MouseButton, Qt::KeyboardModifiers, int X, int Y) { ViewMouseMove(X, Y); };
    v->OnError = [this](TDrawing*, const QString& message) { pendingErrors_ << message; };
    // The layer list follows the view's layers; a pressed row makes its
    // layer the active one before the click reaches the window.
    ui_->Contents->SetDrawing(v);
    ui_->Contents->OnClick = [this](TLayerListBox&) { ContentsClick(); };
    connect(ui_->Escala, &QLineEdit::returnPressed, this, [this] { EscalaKeyPress(); });
}

void TkovisViewWin::SetupActions() {
    Ui::TkovisViewWin& f = *ui_;
    auto group = new QActionGroup(this);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (const auto& tool : ToolActions()) group->addAction(tool.second);

    connect(f.Mapa_Abrir, &QAction::triggered, this, [this] { Mapa_AbrirExecute(); });
    connect(f.Mapa_Propriedades, &QAction::triggered, this, [this] { Mapa_PropriedadesExecute(); });
    connect(f.Exibir_Tabela, &QAction::triggered, this, [this](bool checked) { Exibir_TabelaExecute(checked); });
    connect(f.Exibir_ResultConsulta, &QAction::triggered, this, [this] { Exibir_ResultConsultaExecute(); });
    for (QAction* a : {f.Mapa_Propriedades, f.Exibir_Tabela, f.Exibir_ResultConsulta}) a->setToolTip(a->iconText());
    connect(f.Mapa_Sair, &QAction::triggered, this, [this] { close(); });
    connect(f.Mapa_SalvarComo, &QAction::triggered, this, [this] { Mapa_SalvarComoExecute(); });
    connect(f.Camada_SalvarComo, &QAction::triggered, this, [this] { Camada_SalvarComoExecute(); });
    connect(f.Mapa_Imprimir, &QAction::triggered, this, [this] { Mapa_ImprimirExecute(); });
    struct TVisibility {
        QAction* Action;
        QWidget* Control;
    };
    const TVisibility visibility[] = {
        {f.Exibir_BarraPrincipal, f.ActionToolBarPrincipal}, {f.Exibir_BarraFerramentas, f.ActionToolBarFerramentas},
        {f.Exibir_TOC, f.PanelTOC},           {f.Exibir_Mapa, f.View},
        {f.Exibir_BarraStatus, f.StatusBar},  {f.Exibir_PainelIdent, f.ValueListEditor},
    };
    for (const TVisibility& v : visibility) {
        QWidget* control = v.Control;
        connect(v.Action, &QAction::triggered, this, [this, control](bool checked) {
            control->setVisible(checked);
            UpdateActions();
        });
    }
    connect(f.Exibir_Atualizar, &QAction::triggered, this, [this] { Exibir_AtualizarExecute(); });
    connect(f.Exibir_TelaCheia, &QAction::triggered, this, [this] { Exibir_TelaCheiaExecute(); });
    connect(f.Camada_LimparSelecao, &QAction::triggered, this, [this] { Camada_LimparSelecaoExecute(); });
    connect(f.Visualizar_Selecionar, &QAction::triggered, this, [this] { View()->SelectTool(); });
    connect(f.Visualizar_Identificar, &QAction::triggered, this, [this] { View()->IdentifyTool(); });
    const auto stepZoom = [this](bool in) {
        TDrawing* v = View();
        in ? v->ZoomInTool() : v->ZoomOutTool();
        v->EnterPoint(false, false, (v->GetViewLeft() + v->GetViewRight()) / 2,
                      (v->GetViewBottom() + v->GetViewTop()) / 2, 0);
    };
    connect(f.Visualizar_Aproximar, &QAction::triggered, this, [stepZoom] { stepZoom(true); });
    connect(f.Visualizar_Afastar, &QAction::triggered, this, [stepZoom] { stepZoom(false); });
    connect(f.Visualizar_AproxJanela, &QAction::triggered, this, [this] { View()->ZoomWindowTool(); });
    connect(f.Visualizar_AproxSelecao, &QAction::triggered, this, [this] { View()->ZoomSelected(); });
    connect(f.Visualizar_AproxCamada, &QAction::triggered, this, [this] { View()->ZoomActiveLayer(); });
    connect(f.Visualizar_AproxLimites, &QAction::triggered, this, [this] { View()->ZoomAll(); });
    connect(f.Visualizar_AproxExtensao, &QAction::triggered, this, [this] { View()->ZoomExtents(); });
    connect(f.Visualizar_AproxAnterior, &QAction::triggered, this, [this] { Visualizar_AproxAnteriorExecute(); });
    connect(f.Visualizar_Deslocar, &QAction::triggered, this, [this] { View()->PanTool(); });
    connect(f.Visualizar_Distancia, &QAction::triggered, this, [this] { View()->ExecuteCommand(dcDistance); });
    connect(f.Visualizar_Area, &QAction::triggered, this, [this] { View()->ExecuteCommand(dcArea); });
    connect(f.Visualizar_Atualizar, &QAction::triggered, this, [this] { View()->Redraw(); });
    // Then the tool buttons: one pressed at a time, the current tool's,
    // whatever pressed it (so also after a zoom step, and none for a tool
    // the view refused).
    for (const auto& tool : ToolActions())
        connect(tool.second, &QAction::triggered, this, [this] { ShowCurrentTool(); });
    connect(f.Ajuda_Topicos, &QAction::triggered, this, [this] { Ajuda_TopicosExecute(); });
    connect(f.Ajuda_KoviWeb, &QAction::triggered, this, [this] { Ajuda_KoviWebExecute(); });
    connect(f.Ajuda_Sobre, &QAction::triggered, this, [this] {
        TkoviAboutBox about(this);
        RunModal(about);
    });

    // Every tool-bar action has an icon (the desktop theme's where one
    // fits, else ours) and its caption as its tooltip.
    const std::tuple<QAction*, const char*, const char*> icons[] = {
        {f.Mapa_Abrir, "document-open", "abrir"},
        {f.Camada_LimparSelecao, "edit-clear", "limpar-selecao"},
        {f.Ajuda_Topicos, "help-contents", "ajuda"},
        {f.Visualizar_Selecionar, "", "selecionar"},
        {f.Visualizar_Identificar, "", "identificar"},
        {f.Visualizar_Aproximar, "zoom-in", "aproximar"},
        {f.Visualizar_Afastar, "zoom-out", "afastar"},
        {f.Visualizar_AproxJanela, "", "aproximar-janela"},
        {f.Visualizar_AproxSelecao, "", "aproximar-selecao"},
        {f.Visualizar_AproxCamada, "", "aproximar-camada"},
        {f.Visualizar_AproxLimites, "", "aproximar-limites"},
        {f.Visualizar_AproxExtensao, "zoom-fit-best", "aproximar-extensao"},
        {f.Visualizar_AproxAnterior, "", "aproximar-anterior"},
        {f.Visualizar_Deslocar, "", "deslocar"},
        {f.Visualizar_Distancia, "", "medir-distancia"},
        {f.Visualizar_Area, "", "medir-area"},
        {f.Visualizar_Atualizar, "view-refresh", "atualizar"},
    };
    for (const auto& [action, theme, file] : icons) {
        const QIcon own(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(file)));
        action->setIcon(*theme ? QIcon::fromTheme(QLatin1String(theme), own) : own);
        action->setToolTip(action->iconText());
    }
    for (QMenu* m : {f.MenuMapa, f.MenuExibir, f.MenuCamada, f.MenuAjuda}) m->setToolTipsVisible(true);

    // The actions belong to the window, so that their keys work with the
    // menu bar hidden (full screen) too; Escape leaves full screen.
    for (QAction* a : findChildren<QAction*>(Qt::FindDirectChildrenOnly)) addAction(a);
    leaveFullScreen_ = new QAction(this);
    leaveFullScreen_->setObjectName(QStringLiteral("SairTelaCheia"));
    leaveFullScreen_->setShortcut(Qt::Key_Escape);
    leaveFullScreen_->setEnabled(false);
    connect(leaveFullScreen_, &QAction::triggered, this, [this] { LeaveFullScreen(); });
    addAction(leaveFullScreen_);
}

void TkovisViewWin::SetupStatusBar() {
    // Each panel keeps one width: its own, or what its longest usual text
    // needs (a position with all its digits, "000000 selecionados"), so
    // that the panels do not move while the pointer does.
    const int widths[6] = {120, 120, 250, 120, 50, 50};
    // A position of 15 digits and distances of 7, with the user's digit
    // groups.
    const QString position = UserNumber(-88888888.8888888), distance = UserFixed(8888888.0, 0);
    const QString longest[6] = {
        position, position, distance + u':' + distance + QStringLiteral(" | ") + distance + QStringLiteral("<888"),
        UserFixed(8888888888.88, 2),
        QStringLiteral("0000000"), QStringLiteral("0000000 selecionados")};
    const QString captions[6] = {QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Polar")};
    for (int i = 0; i < 6; ++i) {
        const int frame = 2 * 2 + 6;  // the sunken panel's frame and a margin
        const int width = std::max(widths[i], fontMetrics().horizontalAdvance(longest[i]) + frame);
        panels_[i] = new TStatusPanel(captions[i], width, this);
        panels_[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panels_[i]->setFrameShape(QFrame::Panel);
        panels_[i]->setFrameShadow(QFrame::Sunken);
        ui_->StatusBar->addWidget(panels_[i]);
    }
}

void TkovisViewWin::UpdateActions() {
    Ui::TkovisViewWin& f = *ui_;
    TDrawing* v = View();
    const bool active = v->Active();
    const bool layer = v->ActiveLayer() != nullptr;
    f.Mapa_Abrir->setEnabled(true);
    f.Mapa_Sair->setEnabled(true);
    f.Mapa_Propriedades->setEnabled(active);
    f.Mapa_SalvarComo->setEnabled(active && f.Contents->GetPanelCount() > 0);
    f.Camada_SalvarComo->setEnabled(layer);
    f.Mapa_Imprimir->setEnabled(active && f.Contents->GetPanelCount() > 0);
    f.Visualizar_Selecionar->setEnabled(layer);
    f.Visualizar_Identificar->setEnabled(layer);
    for (QAction* a : {f.Visualizar_Aproximar, f.Visualizar_Afastar, f.Visualizar_AproxJanela, f.Visualizar_AproxSelecao,
                       f.Visualizar_AproxCamada, f.Visualizar_AproxLimites, f.Visualizar_AproxExtensao,
                       f.Visualizar_AproxAnterior, f.Visualizar_Deslocar, f.Visualizar_Distancia, f.Visualizar_Area,
                       f.Visualizar_Atualizar})
        a->setEnabled(active);
    f.Exibir_BarraPrincipal->setChecked(!f.ActionToolBarPrincipal->isHidden());
    f.Exibir_BarraFerramentas->setChecked(!f.ActionToolBarFerramentas->isHidden());
    f.Exibir_TOC->setChecked(!f.PanelTOC->isHidden());
    f.Exibir_Mapa->setChecked(!f.View->isHidden());
    f.Exibir_BarraStatus->setChecked(!f.StatusBar->isHidden());
    f.Exibir_PainelIdent->setChecked(!f.ValueListEditor->isHidden());
    f.Exibir_Tabela->setChecked(formCTTB_ && formCTTB_->isVisible());
    f.Camada_LimparSelecao->setEnabled(layer);
}

std::vector<std::pair<TDrawingCommand, QAction*>> TkovisViewWin::ToolActions() const {
    const Ui::TkovisViewWin& f = *ui_;
    return {{dcSelect, f.Visualizar_Selecionar}, {dcIdentify, f.Visualizar_Identificar},
            {dcZoomIn, f.Visualizar_Aproximar},  {dcZoomOut, f.Visualizar_Afastar},
            {dcZoomWindow, f.Visualizar_AproxJanela}, {dcPan, f.Visualizar_Deslocar},
            {dcDistance, f.Visualizar_Distancia}, {dcArea, f.Visualizar_Area}};
}

void TkovisViewWin::ShowCurrentTool() {
    for (const auto& [command, action] : ToolActions()) action->setChecked(View()->GetCommand() == command);
}

void TkovisViewWin::Mapa_ImprimirExecute() {
    if (!View()->Active()) return;
    PrintMap(this, *View(), windowTitle());
}

void TkovisViewWin::RefreshContents() {
    // Detached when the window closed: bound again for the next map.
    if (ui_->Contents->Drawing() == nullptr) ui_->Contents->SetDrawing(View());
    else ui_->Contents->Rebuild();
}

TThemeLayer* TkovisViewWin::AddLayer(int layerType, int position) {
    TDrawing* v = View();
    TLayers& layers = v->Layers();
    auto owned = std::make_unique<TThemeLayer>(v);
    owned->SetThemeLayerType(layerType);
    auto* layer = static_cast<TThemeLayer*>(layers.Adopt(std::move(owned)));
    if (layers.GetCount() == 0) layers.Add(layer);
    else layers.Insert(std::clamp(position, 0, layers.GetCount()), layer);
    v->SetActiveLayer(layer);
    v->SetState(dwsBrowse);
    TThemeClass* d = layer->Defaults();
    switch (layerType % 10) {
    case 0:
        d->SetLineColor(kNewLayerColor);
        d->SetPointStyle(psPoint);
        break;
    case 1:
        d->SetLineColor(kNewLayerColor);
        d->SetLineStyle(lsSolid);
        break;
    case 2:
        d->SetFillColor(kNewLayerColor);
        d->SetFillStyle(fsSolid);
        break;
    case 3: {
        TFont font = d->TextFont();
        font.Color = kNewLayerColor;
        d->SetTextFont(font);
        break;
    }
    default:
        break;
    }
    RefreshContents();
    ui_->Contents->SetPressedIndex(0);
    RefreshContents();
    UpdateActions();
    return layer;
}

// ---- opening a map

void TkovisViewWin::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    // After the window is on the screen, so that the wait box and the
    // messages have a parent to stand on.
    QTimer::singleShot(0, this, [this] { FormShow(); });
}

void TkovisViewWin::FormShow() {
    if (Arguments.size() == 1) {
        const QString path = Arguments.constFirst();
        if (QFileInfo(path).isFile() && path.endsWith(QStringLiteral(".map"))) {
            try {
                OpenMap(path, QApplication::applicationName() + QStringLiteral(" - ") + path);
            } catch (const EKoviError&) {
                ShowMessage(this, QStringLiteral("Não foi possível abrir o mapa ") + path + QStringLiteral("!"));
            }
        }
    }
    const QString key = QStringLiteral("Software\\Ardo\\") + QApplication::applicationName();
    const QString setMap = Settings::ReadString(key, QStringLiteral("DefaultMap"));
    const QString defaultMap = setMap.trimmed().isEmpty() ? setMap : StartMapFile(setMap);
    const QString defaultTitle = Settings::ReadString(key, QStringLiteral("DefaultMapTitle"));
    if (!defaultMap.isEmpty() && QFileInfo(defaultMap).isFile()) {
        try {
            OpenMap(defaultMap, QApplication::applicationName() + QStringLiteral(" - ") + defaultTitle);
        } catch (const EKoviError& e) {
            ShowMessage(this, ErrorMessage(e));
        }
    } else if (!defaultMap.trimmed().isEmpty()) {
        ShowMessage(this, QStringLiteral("O mapa não foi encontrado: ") + QDir::toNativeSeparators(defaultMap));
    }
    UpdateActions();
}

void TkovisViewWin::OpenMap(const QString& path, const QString& caption) {
    TDrawing* v = View();
    if (v->Active()) v->SetActive(false);
    ui_->ValueListEditor->setRowCount(0);
    v->SetActiveLayer(nullptr);
    pendingErrors_.clear();
    setWindowTitle(caption);
    const QFileInfo info(path);
    v->SetDatabaseName(info.absolutePath());
    v->SetDrawingName(info.fileName());
    try {
        v->SetActive(true);
    } catch (const EKoviError& e) {
        wait_->hide();
        setWindowTitle(QApplication::applicationName());
        ShowPendingErrors(ErrorMessage(e));
        RefreshContents();
        UpdateActions();
        throw;
    }
    wait_->hide();
    v->Redraw();
    // The drawing file sets the window without a zoom event.
    ViewAfterZoom();
    RefreshContents();
    UpdateActions();
    ShowPendingErrors(QString());
}

void TkovisViewWin::ShowPendingErrors(const QString& raised) {
    QStringList shown;
    for (const QString& m : std::as_const(pendingErrors_))
        if (m != raised && !shown.contains(m)) shown << m;
    pendingErrors_.clear();
    if (!shown.isEmpty()) ShowMessage(this, shown.join(u'\n'));
}

void TkovisViewWin::Mapa_AbrirExecute() {
    const QString path = RunFileDialog(OpenView());
    if (path.isEmpty()) return;
    try {
        OpenMap(path, QApplication::applicationName() + QStringLiteral(" - ") + path);
    } catch (const EKoviError& e) {
        // A damaged file: say why; the window goes on with no map.
        ShowMessage(this, ErrorMessage(e));
    }
}

// ---- layer hooks

void TkovisViewWin::ViewBeforeOpenLayer(TLayers&, TLayer& layer, bool&) {
    View()->SetActiveLayer(&layer);
    HookLayer(layer);
}

void TkovisViewWin::HookLayer(TLayer& layer) {
    layer.OnProgress = [this](TLayer& l, int position, int maximum) { LayerProgress(l, position, maximum); };
    layer.BeforeOpen = [this](TLayer& l) { LayerFileMissing(l); };
    layer.AfterOpen = [this](TLayer& l) { LayerAfterOpen(l); };
    if (auto* theme = dynamic_cast<TThemeLayer*>(&layer))
        theme->Table()->BeforeOpen = [this, theme](TDataSet*) { ThemeTableBeforeOpen(*theme); };
    wait_->NomeObjeto = layer.Caption();
    wait_->Diretorio = JoinPath(layer.DatabaseName(), layer.LayerName());
    wait_->Tipo = 7;
    gauge_ = -1;
    wait_->ShowWait();
}

void TkovisViewWin::LayerAfterOpen(TLayer&) { wait_->hide(); }

void TkovisViewWin::LayerTablePlace(TThemeLayer& layer, QString& database, QString& name) {
    // Where the layer file says its table is (the table resolves a folder
    // stored relative against the layer file's); a layer that names no
    // table has the dBase table of the layer file's name beside it.
    const QString file = layer.ResolvedFileName();
    database = layer.Table()->EffectiveDatabase();
    name = layer.TableName();
    if (name.trimmed().isEmpty()) name = ChangeFileExt(ExtractFileName(file), QStringLiteral(".dbf"));
    if (database.trimmed().isEmpty()) database = ExtractFilePath(file);
}

void TkovisViewWin::ThemeTableBeforeOpen(TThemeLayer& layer) {
    // Runs inside the layer's opening, before its table opens: a missing
    // table is asked for, and cancelling aborts the layer's opening.
    QString database, name;
    LayerTablePlace(layer, database, name);
    TableFileMissing(layer, database, name);
    TLayerTable* t = layer.Table();
    if (database == t->EffectiveDatabase() && name == t->TableName()) return;
    // The file found or chosen for this opening. The layer table keeps its
    // name once the layer file exists; the user's choice goes past that.
    t->SetTableDatabase(database);
    t->TGISTable::SetTableName(name);
}

void TkovisViewWin::DropLayer(TLayer& layer) {
    TDrawing* v = View();
    TLayers& layers = v->Layers();
    TLayer* next = nullptr;
    for (int i = 0; i < layers.GetCount(); ++i)
        if (layers.GetItem(i) != &layer) {
            next = layers.GetItem(i);
            break;
        }
    v->SetActiveLayer(next);
    wait_->hide();
    const int index = layers.IndexOf(&layer);
    if (index >= 0) {
        // A listed layer (added by the window itself): out of the list now,
        // freed once its opening has unwound.
        layers.Delete(index);
        QTimer::singleShot(0, this, [this, &layer] { View()->Layers().FreeLayer(&layer); });
    }
    // An unlisted layer is being read from the drawing file: the reading
    // loop frees it when its opening is aborted.
}

void TkovisViewWin::LayerFileMissing(TLayer& layer) {
    if (!AskLayerFile(layer)) return;
    DropLayer(layer);
    throw ELayerAbort();
}

bool TkovisViewWin::AskLayerFile(TLayer& layer) {
    const QString path = JoinPath(layer.DatabaseName(), layer.LayerName());
    if (QFileInfo(layer.ResolvedFileName()).isFile()) return false;
    QFileDialog& open = OpenCamada();
    const QString title = open.windowTitle();
    open.setWindowTitle(QStringLiteral("Adicionar Camada ") + path + QStringLiteral("?"));
    // The search starts beside the map.
    open.setDirectory(View()->DatabaseName());
    const QString chosen = RunFileDialog(open);
    open.setWindowTitle(title);
    if (chosen.isEmpty()) return true;
    const QFileInfo info(chosen);
    layer.SetDatabaseName(info.absolutePath());
    layer.SetLayerName(info.fileName());
    wait_->Diretorio = JoinPath(layer.DatabaseName(), layer.LayerName());
    wait_->ShowWait();
    return false;
}

void TkovisViewWin::TableFileMissing(TLayer& layer, QString& database, QString& name) {
    if (!AskTableFile(layer, database, name)) return;
    DropLayer(layer);
    throw ELayerAbort();
}

bool TkovisViewWin::AskTableFile(TLayer& layer, QString& database, QString& name) {
    TSession& session = Session();
    const bool alias = session.IsAlias(database);
    QString path;
    if (alias) {
        path = u':' + database + u':' + name;
        try {
            const QStringList names = session.TableNames(database, QStringLiteral("*.*"), true, false);
            for (const QString& n : names)
                if (n.toUpper() == name.toUpper()) return false;
        } catch (const EEngineError&) {
            // a database that cannot list its tables holds none of them
        }
    } else {
        path = JoinPath(database, name);
        if (FileExists(path)) return false;
        database = ExtractFilePath(layer.ResolvedFileName());
        path = JoinPath(database, name);
        if (FileExists(path)) return false;
    }
    return ChooseTableFile(database, name, path, alias);
}

bool TkovisViewWin::ChooseTableFile(QString& database, QString& name, const QString& path, bool alias) {
    TkoviFormTBLocalBDE dialog(this);
    dialog.DialogMode = 1;
    dialog.LocationChoice = alias ? 1 : 0;
    dialog.Preset = true;
    dialog.Folder = database;
    dialog.TableFile = name;
    dialog.setWindowTitle(QStringLiteral("Adicionar tabela ") + path + QStringLiteral("?"));
    wait_->hide();
    if (RunModal(dialog) != QDialog::Accepted) return true;
    database = dialog.Folder;
    name = dialog.TableFile;
    wait_->ShowWait();
    return false;
}

TDataSet* TkovisViewWin::AttributeTable(TLayer* layer) const {
    auto* theme = dynamic_cast<TThemeLayer*>(layer);
    return theme && theme->Table()->Active() ? theme->Table() : nullptr;
}

TDataSet* TkovisViewWin::ActiveTable() const { return AttributeTable(View()->ActiveLayer()); }

// ---- progress

void TkovisViewWin::ViewProgress(int position, int maximum) {
    // A report without a maximum says nothing about the share done.
    if (maximum <= 0) return;
    const int percent = qRound(double(position) / double(maximum) * 100.0);
    if (percent == gauge_) return;
    gauge_ = percent;
    wait_->Progresso()->setValue(percent);
    wait_->Progresso()->repaint();
}

void TkovisViewWin::LayerProgress(TLayer&, int position, int maximum) { ViewProgress(position, maximum); }

// ---- view events

void TkovisViewWin::ShowCounts() {
    TLayer* layer = View()->ActiveLayer();
    if (!layer) return;
    panels_[4]->setText(QString::number(layer->GetObjectCount()));
    panels_[5]->setText(QString::number(layer->GetSelectedCount()) + QStringLiteral(" selecionados"));
}

void TkovisViewWin::ViewClick() {
    TLayer* layer = View()->ActiveLayer();
    if (!layer || !layer->Active()) return;
    ShowCounts();
    ui_->StatusBar->repaint();
    // The table's selected rows follow the map's selection (also when a
    // new selection has as many objects as the old one), while the table
    // shows this layer's records.
    if (DataSourceCamada->DataSet() == ActiveTable()) formCTTB_->ShowLayer(layer);
}

void TkovisViewWin::ViewMouseMove(int X, int Y) {
    TDrawing* v = View();
    panels_[0]->setText(UserNumber(v->ScreenToWorldX(X)));
    panels_[1]->setText(UserNumber(v->ScreenToWorldY(Y)));
    panels_[2]->setText(v->DeltaXText() + u':' + v->DeltaYText() + QStringLiteral(" | ") + v->DistanceText() + u'<' +
                        v->AngleText());
}

void TkovisViewWin::ViewMeasure(double measure) {
    TDrawing* v = View();
    if (v->GetCommand() == dcDistance)
        panels_[3]->setText(UserFixed(measure, v->DistancePrecision()));
    else if (v->GetCommand() == dcArea)
        panels_[3]->setText(UserFixed(measure, v->DistancePrecision() / 2));
    else
        panels_[3]->clear();
}

void TkovisViewWin::ViewAfterZoom() { ui_->Escala->setText(UserNumber(View()->Scale(), 15)); }

void TkovisViewWin::EscalaKeyPress() {
    const QString text = ui_->Escala->text().trimmed();
    double value = 0;
    if (!ReadUserNumber(text, value)) {
        ShowMessage(this, QStringLiteral("Escala deve ser um número real."));
        ViewAfterZoom();
        return;
    }
    View()->SetScale(value);
    View()->Redraw();
    ViewAfterZoom();
}

void TkovisViewWin::ContentsClick() {
    // The list has made the pressed row's layer the active one; a click
    // before any row was pressed names no layer.
    if (ui_->Contents->PressedIndex() == -1) return;
    DataSourceCamada->SetDataSet(ActiveTable());
    formCTTB_->BindGrid(DataSourceCamada);
    formCTTB_->ShowLayer(View()->ActiveLayer());
    FillIdentifyPanel();
    ShowCounts();
    UpdateActions();
}

void TkovisViewWin::ViewVisualObjectIdentify(TVisualObject* object) {
    TLayer* layer = View()->ActiveLayer();
    if (!layer || !object) return;
    TDataSet* table = ActiveTable();
    bool found = false;
    if (table) {
        TField* id = table->FindField(QStringLiteral("id"));
        try {
            found = id && table->Locate(id->FieldName(), object->Id());
        } catch (const EEngineError&) {
            found = false;
        }
    }
    // Only the identified object's record is listed: when it has none,
    // the panel stays empty.
    if (found) FillIdentifyPanel();
    else ui_->ValueListEditor->setRowCount(0);
}

void TkovisViewWin::FillIdentifyPanel() {
    QTableWidget* grid = ui_->ValueListEditor;
    grid->setRowCount(0);
    TDataSet* table = ActiveTable();
    if (!table || table->IsEmpty()) return;
    grid->setRowCount(table->FieldCount());
    for (int i = 0; i < table->FieldCount(); ++i) {
        TField* field = table->Fields(i);
        grid->setItem(i, 0, new QTableWidgetItem(field->DisplayLabel()));
        grid->setItem(i, 1, new QTableWidgetItem(field->DisplayText()));
    }
}

QString TkovisViewWin::IdentifyHint(int row) const {
    TDataSet* table = ActiveTable();
    if (!table || ui_->ValueListEditor->rowCount() == 0 || row < 0 || row >= table->FieldCount()) return QString();
    TField* field = table->Fields(row);
    QString text = field->DisplayText();
    if (field->DataType() == ftMemo || field->DataType() == ftFmtMemo) {
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(u'\r', u'\n');
    }
    return text;
}

bool TkovisViewWin::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->ValueListEditor->viewport() && event->type() == QEvent::MouseMove) {
        const auto* me = static_cast<QMouseEvent*>(event);
        ui_->ValueListEditor->viewport()->setToolTip(IdentifyHint(ui_->ValueListEditor->rowAt(me->position().toPoint().y())));
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- the other actions

void TkovisViewWin::Visualizar_AproxAnteriorExecute() {
    try {
        View()->ZoomPrevious();
    } catch (const EEngineError& e) {
        ShowMessage(this, e.Message());  // nothing to go back to
    }
}

void TkovisViewWin::Exibir_AtualizarExecute() {
    View()->Redraw();
    RefreshContents();
    formCTTB_->BindGrid(DataSourceCamada);
}

void TkovisViewWin::Mapa_SalvarComoExecute() {
    if (!saveMapa_) saveMapa_ = MakeSaveDialog(this, SaveMapaGeneric());
    SaveMapImage(this, *View(), *saveMapa_, *wait_);
}

void TkovisViewWin::Camada_SalvarComoExecute() {
    if (!saveCamada_) saveCamada_ = MakeSaveDialog(this, SaveCamadaGeneric());
    SaveLayerImage(this, *View(), *saveCamada_, *wait_);
}

void TkovisViewWin::Exibir_TelaCheiaExecute() {
    menuBar()->hide();
    showFullScreen();
    leaveFullScreen_->setEnabled(true);
}

void TkovisViewWin::LeaveFullScreen() {
    leaveFullScreen_->setEnabled(false);
    showNormal();
    menuBar()->show();
}

void TkovisViewWin::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && (isFullScreen() || menuBar()->isHidden())) {
        LeaveFullScreen();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TkovisViewWin::Camada_LimparSelecaoExecute() {
    TLayer* layer = View()->ActiveLayer();
    if (!layer) return;
    layer->ClearSelection();
    formCTTB_->ClearSelectedRows();
    View()->Redraw();
    ViewClick();
}

void TkovisViewWin::Ajuda_TopicosExecute() { ShowHelpContents(this); }

void TkovisViewWin::Ajuda_KoviWebExecute() { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kKoviWebAddress))); }

void TkovisViewWin::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
    QMainWindow::changeEvent(event);
}

void TkovisViewWin::FormActivate() {
    formCTTB_->BindGrid(DataSourceCamada);
    formCTTB_->SetDrawing(View());
    ShowCounts();
}

void TkovisViewWin::Mapa_PropriedadesExecute() {
    TkoviFormMPPR dialog(this);
    const QString prefix = QApplication::applicationName() + QStringLiteral(" - ");
    if (windowTitle().startsWith(prefix)) dialog.Description = windowTitle().mid(prefix.size());
    dialog.LoadFromDrawing(View());
    if (RunModal(dialog) != QDialog::Accepted) return;
    dialog.ApplyToDrawing();
    View()->Redraw();
}

void TkovisViewWin::Exibir_TabelaExecute(bool show) {
    formCTTB_->setVisible(show);
    UpdateActions();
}

TkoviFormCTTBR* TkovisViewWin::Exibir_ResultConsultaExecute() {
    auto* results = new TkoviFormCTTBR(this);
    results->TableOf = [this](TLayer* layer) { return AttributeTable(layer); };
    results->SetDrawing(View());
    addDockWidget(Qt::LeftDockWidgetArea, results);
    PlaceToolWindow(*this, *results);
    results->show();
    return results;
}

void TkovisViewWin::closeEvent(QCloseEvent* event) {
    ui_->Contents->SetDrawing(nullptr);
    try {
        if (View()->Active()) View()->SetActive(false);
    } catch (const EKoviError&) {
        // closing always goes on
    }
    wait_->hide();
    event->accept();
}
