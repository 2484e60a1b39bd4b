#include "app/plan/FormMetodologia.h"

#include <algorithm>

#include <QLabel>
#include <QListWidget>
#include <QStyle>
#include <QStackedWidget>
#include <QShowEvent>
#include <QTabWidget>
#include <QTextEdit>
#include <QVBoxLayout>

#include "app/dialogs/Modal.h"
#include "app/dialogs/Placement.h"
#include "app/plan/PicturePages.h"
#include "app/plan/RichText.h"
#include "core/Errors.h"
#include "ui_Metodologia.h"

namespace {

// A figure or photograph of a chapter: its sub-page, its picture in the
// window's resources and its caption.
struct TFigure {
    const char* Page;
    const char* Resource;
    const char* Caption;
};

struct TChapterPage {
    const char* Title;
    std::vector<TFigure> Figures;  // none: the chapter fills the page
    const char* Table = nullptr;   // a sub-page showing the table chapter
};

const std::vector<TChapterPage>& Pages() {
    static const std::vector<TChapterPage> pages = {
        {"Resumo", {}},
        {"Introdução", {{"Figura 1", "figura1.svg", "Figura 1 - Localização dos morros mapeados no município"}}},
        {"Aspectos Conceituais", {}},
        {"Etapas e Planejamento das Atividades", {}},
        {"Estruturação de um Modelo de Decisão",
         {{"Figura 2", "figura2.svg", "Figura 2 - Estrutura hierárquica do modelo de decisão"}}},
        {"Reuniões com as Comunidades Envolvidas",
         {{"Figura 3", "figura3.svg", "Figura 3 - Comunidades envolvidas por morro"},
          {"Figura 4", "figura4.svg", "Figura 4 - Roteiro das reuniões comunitárias"},
          {"Figura 5", "figura5.svg", "Figura 5 - Participação dos moradores nas reuniões"},
          {"Foto 1", "foto1.svg", "Foto 1 - Reunião com os moradores do Alto da Serra"},
          {"Foto 2", "foto2.svg", "Foto 2 - Apresentação do mapa de riscos na Bica"},
          {"Foto 3", "foto3.svg", "Foto 3 - Mapa falado com a comunidade do Cruzeiro"},
          {"Foto 4", "foto4.svg", "Foto 4 - Priorização das obras pelos moradores"},
          {"Foto 5", "foto5.svg", "Foto 5 - Devolutiva dos resultados às comunidades"}}},
        {"Identificação e Mapeamento dos Riscos", {}},
        {"Resultados do Mapeamento",
         {{"Figura 6", "figura6.svg", "Figura 6 - Setores de risco por grau de probabilidade"},
          {"Figura 7", "figura7.svg", "Figura 7 - Moradias em setores de risco por morro"}}},
        {"Plano de Intervenções Estruturais", {}, "Tabela 2"},
        {"Compatibilização com Programas em Andamento", {}},
        {"Conclusões e Recomendações", {}},
        {"Referências Bibliográficas", {}},
    };
    return pages;
}

QTextEdit* NewChapter(QWidget* parent) {
    auto* edit = new QTextEdit(parent);
    edit->setReadOnly(true);
    return edit;
}

}  // namespace

const QStringList& TtrelFormMetodologia::ChapterFiles() {
    static const QStringList files = {
        QStringLiteral("01 - resumo.rtf"),         QStringLiteral("02 - introducao.rtf"),
        QStringLiteral("03 - aspectos.rtf"),       QStringLiteral("04 - etapas.rtf"),
        QStringLiteral("05 - estruturacao.rtf"),   QStringLiteral("06 - reuniao.rtf"),
        QStringLiteral("07 - identificacao.rtf"),  QStringLiteral("08 - resultados.rtf"),
        QStringLiteral("09 - planos.rtf"),         QStringLiteral("10 - compatibilizacao.rtf"),
        QStringLiteral("11 - conclusoes.rtf"),     QStringLiteral("12 - referencias.rtf"),
        QStringLiteral("tabela 2.rtf"),
    };
    return files;
}

TtrelFormMetodologia::TtrelFormMetodologia(QWidget* owner)
    : QWidget(owner, OwnedWindowFlags(owner)), ui_(std::make_unique<Ui::TtrelFormMetodologia>()) {
    Q_INIT_RESOURCE(plan);
    ui_->setupUi(this);
    PlaceOnFirstShow(*this);
    CloseOnEscape(*this);
    setObjectName(QStringLiteral("TtrelFormMetodologia"));
    QTextEdit* table = nullptr;
    for (const TChapterPage& page : Pages()) {
        const QString title = QString::fromUtf8(page.Title);
        QTextEdit* chapter = nullptr;
        if (page.Figures.empty() && !page.Table) {
            chapter = NewChapter(ui_->PageControl);
            ui_->PageControl->addWidget(chapter);
        } else {
            auto* sub = new QTabWidget(ui_->PageControl);
            chapter = NewChapter(sub);
            sub->addTab(chapter, QStringLiteral("Texto"));
            for (const TFigure& f : page.Figures) {
                auto* figurePage = new QWidget(sub);
                auto* layout = new QVBoxLayout(figurePage);
                auto* picture = new TPictureBox(figurePage);
                picture->setCursor(Qt::ArrowCursor);
                layout->addWidget(picture, 1);
                auto* caption = new QLabel(QString::fromUtf8(f.Caption), figurePage);
                caption->setAlignment(Qt::AlignCenter);
                layout->addWidget(caption);
                sub->addTab(figurePage, QString::fromUtf8(f.Page));
                figureFiles_.emplace_back(picture, QStringLiteral(":/plan/") + QString::fromLatin1(f.Resource));
                figures_.push_back(picture);
            }
            if (page.Table) {
                table = NewChapter(sub);
                sub->addTab(table, QString::fromUtf8(page.Table));
            }
            ui_->PageControl->addWidget(sub);
        }
        ui_->Indice->addItem(title);
        chapters_.push_back(chapter);
    }
    chapters_.push_back(table);
    ui_->Indice->setCurrentRow(0);
    // The index as wide as its widest title, so that every title shows
    // whole on one line; the chapter takes the rest.
    QListWidget& index = *ui_->Indice;
    const int titles = index.sizeHintForColumn(0) + 2 * index.frameWidth() + 2 * index.spacing() +
                       index.style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4;
    index.setMinimumWidth(titles);
    ui_->Divisor->setSizes({titles, std::max(300, width() - titles)});
}

TtrelFormMetodologia::~TtrelFormMetodologia() = default;

void TtrelFormMetodologia::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return;
    // The chapters in order, up to one that cannot be read: it shows what
    // could be read of it, and the chapters after it are not loaded.
    QStringList errors;
    for (int i = 0; i < ChapterFiles().size() && errors.isEmpty(); ++i) {
        const QString error = LoadRichText(*Chapter(i), QStringLiteral("metodologia"), ChapterFiles().at(i));
        if (!error.isEmpty()) errors << error;
    }
    for (const auto& [picture, file] : figureFiles_) {
        if (!picture->File().isEmpty()) continue;
        try {
            picture->LoadFile(file);
        } catch (const EEngineError&) {
            errors << QStringLiteral("Não foi possível carregar imagem!\n") + file;
        }
    }
    ReportFailures(this, QString(), errors);
}
