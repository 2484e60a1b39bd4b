#include "app/plan/TrelViewWin.h"

#include <QAction>
#include <QDir>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolBar>

#include "app/HelpWindow.h"
#include "app/SaveImage.h"
#include "app/dialogs/BaseLayers.h"
#include "app/dialogs/DataFolder.h"
#include "app/dialogs/Localizar.h"
#include "app/dialogs/Modal.h"
#include "app/dialogs/Pictures.h"
#include "app/dialogs/SaveDialog.h"
#include "app/dialogs/SmallForms.h"
#include "app/dialogs/WaitBox.h"
#include "app/plan/DataModule.h"
#include "app/plan/FormEixoLogradouro.h"
#include "app/plan/FormEquipe.h"
#include "app/plan/FormIntervencoes.h"
#include "app/plan/FormMetodologia.h"
#include "app/plan/FormMorros.h"
#include "app/plan/FormSetores.h"
#include "app/plan/PlanForms.h"
#include "core/Errors.h"
#include "core/Paths.h"
#include "engine/exchange/Shapefile.h"
#include "engine/layers/Layers.h"
#include "engine/theme/ThemeLayer.h"
#include "engine/view/GISDrawing.h"
#include "engine/view/LayerList.h"
#include "platform/settings/Settings.h"
#include "ui_ViewWin.h"

// The window's own glyphs live in the library's resources.
static void InitTrelResources() { Q_INIT_RESOURCE(trel); }

namespace {

const QString kShapeFilter = QStringLiteral("Arquivos Shape (ArcView GIS) (*.shp)");
const QString kAllFilter = QStringLiteral("Todos os Arquivos (*.*)");

QAction* NewAction(QObject* owner, const char* name, const QString& text) {
    auto* a = new QAction(text, owner);
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

// A line of the base layers' report: the layer, its file, what went wrong.
QString BaseError(const QString& caption, const QString& file, const QString& message) {
    return QStringLiteral("%1 (%2): %3").arg(caption, QDir::toNativeSeparators(file), message);
}

// Why a layer file that exists could not be read.
QString UnreadableLayer(const QString& file) {
    return QFileInfo(file).isReadable() ? QStringLiteral("o arquivo está danificado ou não é uma camada.")
                                        : QStringLiteral("o arquivo não pôde ser lido (sem permissão de leitura).");
}

// Shows a window modeless, or brings it forward when it is shown.
void ShowModeless(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

// The banner's picture, loaded when the banner is first shown (it starts
// hidden, and most runs never show it).
class TBannerPicture : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void showEvent(QShowEvent* event) override {
        if (pixmap().isNull()) setPixmap(DialogPicture(QStringLiteral("banner")));
        QLabel::showEvent(event);
    }
};

bool ConfirmOverwrite(QWidget* parent, const QString& file) {
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(),
                    QStringLiteral("%1 já existe.\nDeseja substituí-lo?").arg(QFileInfo(file).fileName()),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return RunModal(box) == QMessageBox::Yes;
}

}  // namespace

TtrelViewWin::TtrelViewWin(QWidget* parent) : TkovisViewWin(parent) {
    InitTrelResources();
    InitDialogPictures();
    setObjectName(QStringLiteral("TtrelViewWin"));
    setWindowTitle(QApplication::applicationName());
    resize(900, 583);
    if (QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

    // The record windows' "Localizar" runs the search dialogs.
    forms_ = std::make_unique<TPlanForms>(
        this, [this](QString& field, QVariant& value) { return RunSearch(LocalizarSetor(), field, value); },
        [this](QString& field, QVariant& value) { return RunSearch(LocalizarMorro(), field, value); });
    pathDialog_ = std::make_unique<TlibPathDialog>(this);


    // Redraws once at the first message processing, and again when the
    // first show enables it after the about box.
    timerRedraw_ = new QTimer(this);
    timerRedraw_->setObjectName(QStringLiteral("TimerRedraw"));
    timerRedraw_->setInterval(50);
    connect(timerRedraw_, &QTimer::timeout, this, [this] { TimerRedrawTimer(); });
    timerRedraw_->start();

    SetupPlanActions();
    SetupToolBar();
    SetupMenus();
    UpdateActions();
}

TtrelViewWin::~TtrelViewWin() {
    timerRedraw_->stop();
    // The record windows and the module before the window they stand on.
    forms_.reset();
}

TtrelFormLocalizarMorro& TtrelViewWin::LocalizarMorro() {
    if (!localizarMorro_) localizarMorro_ = std::make_unique<TtrelFormLocalizarMorro>(nullptr, this);
    return *localizarMorro_;
}

TtrelFormLocalizarSetor& TtrelViewWin::LocalizarSetor() {
    if (!localizarSetor_) localizarSetor_ = std::make_unique<TtrelFormLocalizarSetor>(nullptr, this);
    return *localizarSetor_;
}

TcvFormCarregarDadosGeograficos& TtrelViewWin::CarregarDados() {
    if (!carregarDados_) carregarDados_ = std::make_unique<TcvFormCarregarDadosGeograficos>(this);
    // The hills as the plan's database names them.
    QStringList names;
    for (int h = 0; h < TcvFormCarregarDadosGeograficos::kHills; ++h)
        names << forms_->DM->MorroNome(QStringLiteral("M%1").arg(h + 1, 2, 10, QLatin1Char('0')));
    carregarDados_->SetHillNames(names);
    return *carregarDados_;
}

// ---- layout

void TtrelViewWin::SetupPlanActions() {
    Ui::TkovisViewWin& f = Form();
    // The actions belong to the window, so that their keys work with the
    // menu bar hidden (full screen) too.
    for (QAction* a : findChildren<QAction*>(Qt::FindDirectChildrenOnly)) addAction(a);
    escape_ = NewAction(this, "SairTelaCheia", QString());
    escape_->setShortcut(Qt::Key_Escape);
    escape_->setEnabled(false);
    connect(escape_, &QAction::triggered, this, [this] { LeaveFullScreen(); });
    addAction(escape_);

    connect(f.MenuCamada, &QMenu::aboutToShow, this, [this] { Camada1Click(); });
    f.Visualizar_Identificar->setChecked(true);
    // A zoom step: the generic action, then its button does not stay
    // pressed (the view keeps the zoom tool for the next click).
    for (QAction* step : {f.Visualizar_Aproximar, f.Visualizar_Afastar})
        connect(step, &QAction::triggered, this, [step] { step->setChecked(false); });
}

void TtrelViewWin::SetupToolBar() {
    Ui::TkovisViewWin& f = Form();
    // "Banner", hidden; the main tool bar hidden; the view tool bar.
    auto* banner = new QToolBar(QStringLiteral("Banner"), this);
    banner->setObjectName(QStringLiteral("Banner"));
    banner->addWidget(new TBannerPicture(banner));
    insertToolBar(f.ActionToolBarPrincipal, banner);
    banner->hide();
    f.ActionToolBarPrincipal->hide();

    QToolBar* bar = f.ActionToolBarFerramentas;
    // Small glyphs, so that the buttons and the labelled buttons all show at
    // the window's width.
    bar->setIconSize(QSize(16, 16));
    for (QAction* a : {f.Visualizar_Selecionar, f.Visualizar_AproxSelecao, f.Visualizar_AproxCamada,
                       f.Visualizar_AproxExtensao, f.Visualizar_Area})
        bar->removeAction(a);
    bar->addSeparator();
    QAction* localizar = NewAction(this, "ToolButton5", QStringLiteral("Localizar Morro"));
    localizar->setToolTip(QStringLiteral("Localizar Morro..."));
    localizar->setIcon(QIcon::fromTheme(QStringLiteral("edit-find"), QIcon(QStringLiteral(":/trel/localizar-morro.svg"))));
    connect(localizar, &QAction::triggered, this, [this] { Localizar2Click(); });
    QAction* carregar = NewAction(this, "tbLoadBase", QStringLiteral("Carregar Base"));
    carregar->setToolTip(QStringLiteral("Carregar / Descarregar base"));
    carregar->setIcon(QIcon(QStringLiteral(":/trel/carregar-base.svg")));
    connect(carregar, &QAction::triggered, this, [this] { CarregarDescarregarBaseClick(); });
    bar->addAction(localizar);
    bar->addAction(carregar);
    bar->widgetForAction(localizar)->setObjectName(QStringLiteral("ToolButton5"));
    bar->widgetForAction(carregar)->setObjectName(QStringLiteral("tbLoadBase"));
    bar->addSeparator();

    struct TButton {
        const char* Name;
        const char* Caption;
        const char* Hint;
        std::function<void()> Run;
    };
    const TButton buttons[] = {
        {"BitBtn1", "Localizar Morro", "Clique aqui para localizar um morro", [this] { Localizar2Click(); }},
        {"BitBtn4", "Carregar Base",
         "Clique aqui para carregar ou descarregar a base cartográfica digital de um morro",
         [this] { CarregarDescarregarBaseClick(); }},
        {"BitBtn2", "Mapa Completo", "Clique aqui para visualizar toda a extensão do mapa", [this] { View()->ZoomAll(); }},
        {"BitBtn3", "Atualizar", "Clique aqui para atualizar o desenho do mapa na área de visualização",
         [this] { View()->Redraw(); }},
        {"BitBtn5", "Voltar", "Clique aqui para voltar à escala anterior de visualização",
         [this] { Visualizar_AproxAnteriorExecute(); }},
    };
    for (const TButton& b : buttons) {
        auto* button = new QPushButton(QString::fromUtf8(b.Caption), bar);
        button->setObjectName(QString::fromLatin1(b.Name));
        button->setToolTip(QString::fromUtf8(b.Hint));
        button->setFixedSize(105, 22);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QPushButton::clicked, this, b.Run);
        bar->addWidget(button);
    }
}

void TtrelViewWin::SetupMenus() {
    Ui::TkovisViewWin& f = Form();
    // "&Mapa": "Salvar Como..." and "Sair", the separator between them
    // disabled.
    for (QAction* a : {f.Mapa_Abrir, f.Mapa_Propriedades, f.Mapa_Imprimir}) a->setVisible(false);
    const QList<QAction*> mapa = f.MenuMapa->actions();
    for (int i = 0; i < mapa.size(); ++i) {
        if (!mapa[i]->isSeparator()) continue;
        if (i > 0 && mapa[i - 1] == f.Mapa_SalvarComo) mapa[i]->setEnabled(false);
        else mapa[i]->setVisible(false);
    }
    for (QAction* a : {f.Exibir_BarraPrincipal, f.Exibir_Tabela, f.Exibir_ResultConsulta, f.Ajuda_KoviWeb})
        a->setVisible(false);
    f.MenuCamada->menuAction()->setVisible(false);

    QAction* before = f.MenuAjuda->menuAction();
    auto* ferramentas = new QMenu(QStringLiteral("Ferramentas"), this);
    ferramentas->setObjectName(QStringLiteral("Ferramentas1"));
    QAction* localizar = NewAction(this, "Localizar2", QStringLiteral("&Localizar Morro..."));
    connect(localizar, &QAction::triggered, this, [this] { Localizar2Click(); });
    carregarBase_ = NewAction(this, "CarregarDescarregarBase1", QStringLiteral("Carregar / Descarregar Base..."));
    carregarBase_->setCheckable(true);  // its check mark turns on each click
    connect(carregarBase_, &QAction::triggered, this, [this] { CarregarDescarregarBaseClick(); });
    ferramentas->addAction(localizar);
    ferramentas->addSeparator();
    ferramentas->addAction(carregarBase_);
    menuBar()->insertMenu(before, ferramentas);

    auto* dados = new QMenu(QStringLiteral("Dados do &TREL"), this);
    dados->setObjectName(QStringLiteral("DadosdoTREL1"));
    auto show = [this](const char* name, const QString& text, auto window) {
        QAction* a = NewAction(this, name, text);
        connect(a, &QAction::triggered, this, [this, window] { ShowModeless(((*forms_).*window)()); });
        return a;
    };
    dados->addAction(show("Metodologia1", QStringLiteral("Metodologia do Trabalho..."), &TPlanForms::Metodologia));
    dados->addAction(show("Equipe1", QStringLiteral("&Equipe..."), &TPlanForms::Equipe));
    dados->addSeparator();
    dados->addAction(show("Morros1", QStringLiteral("Morros Mapeados..."), &TPlanForms::Morros));
    dados->addAction(show("SetoresdeRisco1", QStringLiteral("Setores de Risco Identificados..."), &TPlanForms::Setores));
    menuBar()->insertMenu(before, dados);
    menuBar()->insertAction(before, show("Intervenes20091", QStringLiteral("Prioridade de &Obras"), &TPlanForms::Intervencoes));
    for (QAction* a : findChildren<QAction*>(Qt::FindDirectChildrenOnly)) addAction(a);
}

// ---- the first show

bool TtrelViewWin::OpenDataFolder() {
    if (!pathDialog_->FindDataFolder()) return false;
    forms_->Open();
    return true;
}

QString TtrelViewWin::StartMapFile(const QString& defaultMap) const {
    // The plan is the data folder: its own map, or none.
    return DataFolder().isEmpty() ? defaultMap : PlanFile(defaultMap);
}

void TtrelViewWin::OpenStartMap() {
    TkovisViewWin::FormShow();
    if (!View()->Active() &&
        Settings::ReadString(TlibPathDialog::SettingsKey(), QStringLiteral("DefaultMap")).trimmed().isEmpty())
        ShowMessage(this, QStringLiteral("Nenhum mapa padrão está configurado: nenhum mapa foi aberto."));
    // As if the layer list had been clicked: with no row pressed yet it
    // does nothing, and identify waits for a row or a base layer.
    ContentsClick();
}

void TtrelViewWin::ZoomAllAndRedraw() {
    try {
        View()->ZoomAll();
    } catch (const EEngineError&) {
        // drawn as it is
    }
    View()->Redraw();
}

void TtrelViewWin::ShowAboutOnce() {
    struct TArm {
        QTimer* timer;
        ~TArm() { timer->start(); }
    } arm{timerRedraw_};
    TkoviAboutBox about(this);
    RunModal(about);
}

void TtrelViewWin::FormShow() {
    if (!OpenDataFolder()) return;
    OpenStartMap();
    ZoomAllAndRedraw();
    ShowAboutOnce();
    View()->IdentifyTool();
    ShowCurrentTool();
}

void TtrelViewWin::TimerRedrawTimer() {
    View()->Redraw();
    timerRedraw_->stop();
}

// ---- identify and the searches

TThemeLayer* TtrelViewWin::LayerByCaption(const QString& caption) const {
    const TLayers& layers = View()->Layers();
    const int index = layers.IndexOfName(caption);
    return index >= 0 ? dynamic_cast<TThemeLayer*>(layers.GetItem(index)) : nullptr;
}

TDataSet* TtrelViewWin::LocateRecord(TLayer& layer, const TVisualObject& object) {
    TDataSet* table = AttributeTable(&layer);
    if (!table) return nullptr;
    const TField* id = table->FieldByName(QStringLiteral("ID"));
    return table->Locate(id->FieldName(), object.Id()) ? table : nullptr;
}

void TtrelViewWin::ViewVisualObjectIdentify(TVisualObject* object) {
    // Identify answers once a row of the layer list names the layer.
    if (Form().Contents->PressedIndex() == -1 || object == nullptr) return;
    TLayer* layer = View()->ActiveLayer();
    try {
        // The object's own record, or no record window.
        TDataSet* table = layer ? LocateRecord(*layer, *object) : nullptr;
        const QString caption = table ? layer->Caption() : QString();
        const auto key = [table](const char* field) { return table->FieldByName(QString::fromLatin1(field))->AsString(); };
        if (caption == trel::kSetores) {
            forms_->Setores()->ShowLocated(QStringLiteral("cod_morrosetor"), key("morrosetor"));
        } else if (caption == trel::kLimitesMorros) {
            if (forms_->Morros()->ShowLocated(QStringLiteral("cod_morro"), key("morro")) && forms_->DM->SetoresMorros.Active())
                forms_->DM->SetoresMorros.First();
        } else if (caption == trel::kEixos) {
            forms_->EixoLogradouro()->ShowLocated(QStringLiteral("ID"), key("id"));
        }
    } catch (const EEngineError& e) {
        // A field or record the tables lack: said, as any error of theirs.
        ShowMessage(this, e.Message());
        return;
    }
    TkovisViewWin::ViewVisualObjectIdentify(object);
}

bool TtrelViewWin::RunSearch(TlibFormLocalizar& dialog, QString& field, QVariant& value) {
    if (!PlanDataOpen() || RunModal(dialog) != QDialog::Accepted) return false;
    field = dialog.CampoEscolhido;
    value = dialog.ValorEscolhido;
    return !field.isEmpty();
}

bool TtrelViewWin::PlanDataOpen() {
    if (forms_->DM->DatabaseTREL.Connected()) return true;
    // As the record windows say: the searches run on the same database.
    ShowMessage(this, QStringLiteral("Não foi possível localizar: o banco de dados do TREL não foi aberto."));
    return false;
}

void TtrelViewWin::Localizar2Click() {
    if (!PlanDataOpen() || RunModal(LocalizarMorro()) != QDialog::Accepted) return;
    TQuery* query = LocalizarMorro().ConsultaOrd();
    TField* chosen = query && query->Active() && !query->IsEmpty() ? query->FindField(QStringLiteral("cod_morro")) : nullptr;
    if (!chosen) return;
    const QString code = chosen->AsString();

    // The hill on the map: its record in the hills' layer, and its object.
    TThemeLayer* layer = LayerByCaption(trel::kLimitesMorros);
    if (!layer) {
        ShowMessage(this, QStringLiteral("A camada \"%1\" não está no mapa.").arg(trel::kLimitesMorros));
        return;
    }
    TDataSet* table = AttributeTable(layer);
    TField* morro = table ? table->FindField(QStringLiteral("morro")) : nullptr;
    TField* id = table ? table->FindField(QStringLiteral("ID")) : nullptr;
    TVisualObject* object = nullptr;
    try {
        if (morro && id && table->Locate(morro->FieldName(), code)) object = layer->FindObject(id->AsString());
    } catch (const EEngineError&) {
        object = nullptr;
    }
    if (!object) {
        ShowMessage(this, QStringLiteral("O morro %1 não foi encontrado na camada \"%2\".").arg(code, trel::kLimitesMorros));
        return;
    }
    layer->ClearSelection();
    layer->SelectionAdd(object);
    object->SetSelected(true);
    View()->ZoomToObject(*object);

    // The hill's records: the hill, its sectors, its first sector.
    const QString hill = morro->AsString();
    TDM& dm = *forms_->DM;
    try {
        if (dm.Morros.Active() && dm.Morros.Locate(QStringLiteral("cod_morro"), hill) && dm.SetoresMorros.Active())
            dm.SetoresMorros.First();
        if (dm.Setores.Active()) dm.Setores.Locate(QStringLiteral("cod_morrosetor"), hill + QStringLiteral("S01"));
    } catch (const EEngineError&) {
        // a dataset that cannot be positioned stays where it was
    }
}

// ---- base layers

void TtrelViewWin::CarregarDescarregarBaseClick() {
    ShowMessage(this, QStringLiteral("É possível somente carregar dados de um morro por vez!"));
    TLayers& layers = View()->Layers();
    TcvFormCarregarDadosGeograficos& dialog = CarregarDados();
    if (RunModal(dialog) != QDialog::Accepted) return;

    // Each layer loaded becomes the active one; unloading the active one
    // makes the first active.
    baseErrors_.clear();
    int placed = 0;
    bool changed = false;
    for (int i = 0; i < dialog.LayerCount(); ++i) {
        const QString caption = dialog.LayerCaption(i);
        const int k = layers.IndexOfName(caption);
        const bool legend = dialog.LegendFlag(i) == 1;
        if (dialog.LayerChecked(i)) {
            if (k >= 0) {
                ++placed;
                TLayer* layer = layers.GetItem(k);
                if (layer->LegendVisible() != legend) {
                    layer->SetLegendVisible(legend);
                    changed = true;
                }
            } else {
                LoadBaseLayer(caption, legend, dialog.LayerFile(i), placed);
                ++placed;
                changed = true;
            }
        } else if (k >= 0) {
            UnloadBaseLayer(k);
            changed = true;
        }
    }
    // Drawn last, so above the base layers.
    for (const QString& caption : {trel::kRemocoes, trel::kMorrosRotulos, trel::kSetoresRotulos}) MoveToTop(caption);
    if (changed) RefreshContents();
    View()->Redraw();
    UpdateActions();
    if (!baseErrors_.isEmpty())
        ShowMessage(this, QStringLiteral("Não foi possível carregar todas as camadas:\n") + baseErrors_.join(u'\n'));
}

void TtrelViewWin::MoveToTop(const QString& caption) {
    TLayers& layers = View()->Layers();
    const int index = layers.IndexOfName(caption);
    if (index < 0) return;
    TLayer* layer = layers.GetItem(index);
    layers.Delete(index);
    layers.Insert(0, layer);
}

void TtrelViewWin::LoadBaseLayer(const QString& caption, bool showLegend, const QString& fileName, int position) {
    QString file = fileName;
    if (!QFileInfo(file).isFile()) {
        QFileDialog& open = OpenCamada();
        open.setDirectory(ExtractFilePath(file));
        open.selectFile(ExtractFileName(file));
        file = RunFileDialog(open);
        if (file.isEmpty()) return;
    }
    std::int32_t type = 0;
    try {
        type = TThemeLayer::FileThemeLayerType(file);
    } catch (const EEngineError&) {
        baseErrors_ << BaseError(caption, file, UnreadableLayer(file));
        return;
    }

    TThemeLayer* layer = AddLayer(type, position);
    TLayers& layers = View()->Layers();
    const QFileInfo info(file);
    layer->SetCaption(caption);
    layer->SetDatabaseName(info.absolutePath());
    layer->SetLayerName(info.fileName());
    layer->SetLegendVisible(showLegend);
    // Without its style file the layer keeps the default symbology.
    const QString style = ChangeFileExt(file, QStringLiteral(".lgc"));
    if (QFileInfo(style).isFile()) {
        try {
            layer->LoadStyleFromFile(style);
        } catch (const EEngineError& e) {
            baseErrors_ << BaseError(caption, style, e.Message());
        }
    }
    HookLayer(*layer);  // the missing-file questions and the wait box
    auto failure = std::make_shared<QString>();
    layer->OnError = [failure](TLayer&, const QString& message) { *failure = message; };
    // The table opens once the layer file has been read: a failure before
    // that is the layer file's.
    auto tableReached = std::make_shared<bool>(false);
    TDataSet* table = layer->Table();
    table->BeforeOpen = [tableReached, findTable = table->BeforeOpen](TDataSet* t) {
        *tableReached = true;
        if (findTable) findTable(t);
    };
    bool aborted = false;
    missingTable_.clear();
    loadingBase_ = true;
    struct TLoading {
        bool& Flag;
        ~TLoading() { Flag = false; }
    } loading{loadingBase_};
    {
        TWaitShown wait(*WaitBox(), caption, JoinPath(layer->DatabaseName(), layer->LayerName()), 7);
        try {
            layer->Open();
        } catch (const EAbort&) {
            aborted = true;  // the user did not give a missing file, or the table is missing
        } catch (const EEngineError& e) {
            *failure = e.Message();
        }
    }
    // A hook may have taken the layer out of the view (and will free it):
    // it is looked for by identity only.
    const bool listed = layers.IndexOf(layer) >= 0;
    if (listed && !aborted && layer->Active()) {
        layer->OnError = nullptr;
        View()->Redraw();
        return;
    }
    if (listed) UnloadBaseLayer(layers.IndexOf(layer));
    if (!missingTable_.isEmpty())
        baseErrors_ << BaseError(caption, missingTable_, QStringLiteral("a tabela de atributos não foi encontrada."));
    else if (!aborted)
        baseErrors_ << BaseError(caption, file,
                                 *tableReached && !failure->isEmpty() ? *failure : UnreadableLayer(file));
}

bool TtrelViewWin::ChooseTableFile(QString& database, QString& name, const QString& path, bool alias) {
    const bool cancelled = TkovisViewWin::ChooseTableFile(database, name, path, alias);
    if (cancelled && loadingBase_) missingTable_ = path;
    return cancelled;
}

void TtrelViewWin::UnloadBaseLayer(int index) {
    TDrawing* v = View();
    TLayers& layers = v->Layers();
    TLayer* layer = layers.GetItem(index);
    layers.Delete(index);
    if (v->ActiveLayer() == layer) v->SetActiveLayer(layers.GetCount() > 0 ? layers.GetItem(0) : nullptr);
    try {
        layer->Close();
    } catch (const EEngineError&) {
        // freed all the same
    }
    layers.FreeLayer(layer);
}

// ---- saving

QFileDialog& TtrelViewWin::SaveCamada() {
    if (saveCamada_) return *saveCamada_;
    // The layer is saved as a shapefile only. The window asks about an
    // existing file itself, once the extension has been put right.
    saveCamada_ = std::make_unique<TSaveFileDialog>(this, QStringLiteral("Salvar Camada Como..."));
    QFileDialog* save = saveCamada_.get();
    save->setOption(QFileDialog::DontConfirmOverwrite);
    save->setNameFilters({kShapeFilter, kAllFilter});
    save->setDefaultSuffix(QStringLiteral("shp"));
    save->selectFile(QStringLiteral("*.shp"));
    connect(save, &QFileDialog::filterSelected, save, [save](const QString& filter) {
        save->setDefaultSuffix(filter == kShapeFilter ? QStringLiteral("shp") : QString());
    });
    return *save;
}

void TtrelViewWin::Camada1Click() {
    TLayer* layer = View()->ActiveLayer();
    Form().Camada_SalvarComo->setEnabled(layer != nullptr && layer->Caption() == trel::kAreasRisco);
}

void TtrelViewWin::Camada_SalvarComoExecute() {
    TLayer* layer = View()->ActiveLayer();
    if (!layer) return;
    QFileDialog& dialog = SaveCamada();
    const QString chosen = RunFileDialog(dialog);
    if (chosen.isEmpty()) return;
    // A shapefile, whatever the extension typed; under "all files" only a
    // name that says ".shp".
    const bool shape = dialog.selectedNameFilter() != kAllFilter ||
                       QFileInfo(chosen).suffix().compare(QStringLiteral("shp"), Qt::CaseInsensitive) == 0;
    if (!shape) {
        ShowMessage(this, QStringLiteral("O formato do arquivo %1 não é conhecido. Use a extensão .shp.")
                              .arg(QFileInfo(chosen).fileName()));
        return;
    }
    const QString target = ChangeFileExt(chosen, QStringLiteral(".shp"));
    dialog.selectFile(target);
    if (QFileInfo::exists(target) && !ConfirmOverwrite(this, target)) return;
    QString failure;
    {
        TWaitShown wait(*WaitBox(), layer->Caption(), target, 9);
        try {
            auto* theme = dynamic_cast<TThemeLayer*>(layer);
            if (!theme) throw EEngineError(QStringLiteral("A camada \"%1\" não tem tabela de atributos.").arg(layer->Caption()));
            ExportShapefile(*theme, target, smPlain);
        } catch (const EEngineError& e) {
            failure = e.Message();
        }
    }
    if (!failure.isEmpty()) ShowMessage(this, QStringLiteral("Não foi possível salvar o arquivo %1.\n%2").arg(target, failure));
}

QFileDialog& TtrelViewWin::SaveMapa() {
    if (!saveMapa_) saveMapa_ = MakeSaveDialog(this, SaveMapaMain());
    return *saveMapa_;
}

void TtrelViewWin::Mapa_SalvarComoExecute() { SaveMapImage(this, *View(), SaveMapa(), *WaitBox()); }

// ---- help

void TtrelViewWin::Ajuda_TopicosExecute() { ShowHelpContents(this, QStringLiteral("qrc:/help/trel.html")); }

// ---- full screen

void TtrelViewWin::Exibir_TelaCheiaExecute() {
    // Maximised without the menu; the border stays.
    menuBar()->hide();
    showMaximized();
    escape_->setEnabled(true);
}

void TtrelViewWin::LeaveFullScreen() {
    escape_->setEnabled(false);
    showNormal();
    menuBar()->show();
}
