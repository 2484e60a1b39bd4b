#include "app/dialogs/SmallForms.h"

#include <sys/resource.h>

#include <algorithm>

#include <QApplication>
#include <QCalendarWidget>
#include <QDate>
#include <QDialogButtonBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTime>
#include <QVBoxLayout>

#include "app/dialogs/Pictures.h"
#include "core/UserNumbers.h"

// ---- memory figures

namespace {

// "Name:   1234 kB" lines of a /proc file: the value of the name in bytes,
// or -1 when the file has no such line.
std::int64_t ProcValue(const QByteArray& text, const char* name) {
    const QByteArray key = QByteArray(name) + ':';
    for (const QByteArray& line : text.split('\n')) {
        if (!line.startsWith(key)) continue;
        const QList<QByteArray> parts = line.mid(key.size()).simplified().split(' ');
        bool ok = false;
        const std::int64_t value = parts.value(0).toLongLong(&ok);
        if (!ok || value < 0) return -1;
        return parts.value(1) == "kB" ? value * 1024 : value;
    }
    return -1;
}

QByteArray ReadProcFile(const QString& name) {
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    return f.readAll();
}

std::uint64_t NonNegative(std::int64_t v) { return v < 0 ? 0 : static_cast<std::uint64_t>(v); }

}  // namespace

TMemoryStatus ReadMemoryStatus() {
    TMemoryStatus m;
    const QByteArray info = ReadProcFile(QStringLiteral("/proc/meminfo"));
    m.TotalPhys = NonNegative(ProcValue(info, "MemTotal"));
    std::int64_t available = ProcValue(info, "MemAvailable");
    if (available < 0)
        available = NonNegative(ProcValue(info, "MemFree")) + NonNegative(ProcValue(info, "Buffers")) +
                    NonNegative(ProcValue(info, "Cached"));
    m.AvailPhys = std::min<std::uint64_t>(NonNegative(available), m.TotalPhys);
    m.TotalPageFile = NonNegative(ProcValue(info, "SwapTotal"));
    m.AvailPageFile = std::min<std::uint64_t>(NonNegative(ProcValue(info, "SwapFree")), m.TotalPageFile);
    if (m.TotalPhys > 0) m.MemoryLoad = int((m.TotalPhys - m.AvailPhys) * 100 / m.TotalPhys);
    // The address space: the process's limit, else what a 64-bit user
    // space spans (47 bits), and what the process has not mapped yet.
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        m.TotalVirtual = static_cast<std::uint64_t>(limit.rlim_cur);
    else
        m.TotalVirtual = sizeof(void*) == 8 ? (std::uint64_t(1) << 47) : (std::uint64_t(1) << 32);
    const std::uint64_t used = NonNegative(ProcValue(ReadProcFile(QStringLiteral("/proc/self/status")), "VmSize"));
    m.AvailVirtual = used < m.TotalVirtual ? m.TotalVirtual - used : 0;
    return m;
}

QString MemoryFigure(std::uint64_t bytes) { return UserInteger(static_cast<std::int64_t>(bytes)); }

// ---- about box

TkoviAboutBox::TkoviAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("kovi_about"));
    setWindowTitle(QStringLiteral("Sobre KOVI"));
    auto* outer = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* picture = new QLabel(this);
    picture->setPixmap(DialogPicture(QStringLiteral("about"), QSize(96, 96)));
    picture->setAlignment(Qt::AlignTop);
    top->addWidget(picture);
    auto* text = new QVBoxLayout;
    auto* product = new QLabel(QStringLiteral("KOVI Zelto - TREL - Inventário"), this);
    QFont big = product->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    product->setFont(big);
    text->addWidget(product);
    text->addWidget(new QLabel(QStringLiteral("Visualizador do inventário de riscos em encostas"), this));
    text->addWidget(new QLabel(QStringLiteral("Versão 1.0"), this));
    text->addSpacing(6);
    text->addWidget(new QLabel(QStringLiteral("- Não é possível edição de camadas."), this));
    text->addWidget(new QLabel(QStringLiteral("- Só é possível exportar o mapa como imagem."), this));
    text->addSpacing(6);
    auto* note = new QLabel(QStringLiteral("Em caso de dúvidas consulte os Tópicos de Ajuda no menu Ajuda. "), this);
    note->setWordWrap(true);
    text->addWidget(note);
    text->addWidget(new QLabel(QStringLiteral("Equipe técnica do TREL e equipe de desenvolvimento KOVI Zelto."), this));
    top->addLayout(text, 1);
    outer->addLayout(top);

    auto* memory = new QGroupBox(this);
    auto* grid = new QGridLayout(memory);
    auto value = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    };
    MemoriaEmUso = value("MemoriaEmUso");
    MemoriaFisica = value("MemoriaFisica");
    MemoriaFisicaDisponivel = value("MemoriaFisicaDisponivel");
    MemoriaPaginada = value("MemoriaPaginada");
    MemoriaPaginadaDisponivel = value("MemoriaPaginadaDisponivel");
    MemoriaVirtual = value("MemoriaVirtual");
    MemoriaVirtualDisponivel = value("MemoriaVirtualDisponivel");
    grid->addWidget(new QLabel(QStringLiteral("Total (bytes)"), this), 0, 1, Qt::AlignRight);
    grid->addWidget(new QLabel(QStringLiteral("Disponível (bytes)"), this), 0, 2, Qt::AlignRight);
    grid->addWidget(new QLabel(QStringLiteral("Memória em uso:"), this), 1, 0);
    grid->addWidget(MemoriaEmUso, 1, 1);
    const std::pair<const char*, std::pair<QLabel*, QLabel*>> rows[] = {
        {"Memória Física:", {MemoriaFisica, MemoriaFisicaDisponivel}},
        {"Memória Paginada:", {MemoriaPaginada, MemoriaPaginadaDisponivel}},
        {"Memória Virtual:", {MemoriaVirtual, MemoriaVirtualDisponivel}},
    };
    int r = 2;
    for (const auto& [caption, labels] : rows) {
        grid->addWidget(new QLabel(QString::fromUtf8(caption), this), r, 0);
        grid->addWidget(labels.first, r, 1);
        grid->addWidget(labels.second, r, 2);
        ++r;
    }
    outer->addWidget(memory);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    outer->addWidget(buttons);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TkoviAboutBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    const TMemoryStatus m = ReadMemoryStatus();
    MemoriaEmUso->setText(QString::number(m.MemoryLoad) + u'%');
    MemoriaFisica->setText(MemoryFigure(m.TotalPhys));
    MemoriaFisicaDisponivel->setText(MemoryFigure(m.AvailPhys));
    MemoriaPaginada->setText(MemoryFigure(m.TotalPageFile));
    MemoriaPaginadaDisponivel->setText(MemoryFigure(m.AvailPageFile));
    MemoriaVirtual->setText(MemoryFigure(m.TotalVirtual));
    MemoriaVirtualDisponivel->setText(MemoryFigure(m.AvailVirtual));
}

// ---- intro

TkoviFormIntro::TkoviFormIntro(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("kovi_intro"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* picture = new QLabel(this);
    picture->setPixmap(DialogPicture(QStringLiteral("intro")));
    layout->addWidget(picture);
    setFixedSize(sizeHint());
}

void TkoviFormIntro::ShowIntro() {
    show();
    raise();
    repaint();
}

// ---- forms the viewer creates and never shows

namespace {
QDialogButtonBox* OkCancel(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(dialog);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}
}  // namespace

TlibFormModoSelecao::TlibFormModoSelecao(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Selecionar Dentre..."));
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Modo de Seleção:"), this);
    auto* radios = new QVBoxLayout(group);
    const char* const captions[3] = {"Selecionar de Todos", "Selecionar da Seleção", "Adicionar à Seleção"};
    for (int i = 0; i < 3; ++i) {
        modes_[i] = new QRadioButton(QString::fromUtf8(captions[i]), group);
        radios->addWidget(modes_[i]);
    }
    modes_[0]->setChecked(true);
    layout->addWidget(group);
    layout->addWidget(OkCancel(this));
}

int TlibFormModoSelecao::ModoSelecao() const {
    for (int i = 0; i < 3; ++i)
        if (modes_[i]->isChecked()) return i;
    return 0;
}

void TlibFormModoSelecao::SetModoSelecao(int mode) { modes_[std::clamp(mode, 0, 2)]->setChecked(true); }

TlibFormAbrindo::TlibFormAbrindo(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Abrindo..."));
    auto* layout = new QHBoxLayout(this);
    auto* picture = new QLabel(this);
    picture->setPixmap(DialogPicture(QStringLiteral("abrindo")));
    layout->addWidget(picture);
    layout->addWidget(new QLabel(QStringLiteral("Abrindo tabelas, aguarde..."), this));
}

TlibFormHora::TlibFormHora(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Hora"));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto spin = [this, row](int maximum) {
        auto* s = new QSpinBox(this);
        s->setRange(0, maximum);
        row->addWidget(s);
        return s;
    };
    Horas = spin(23);
    Minutos = spin(59);
    Segundos = spin(59);
    layout->addLayout(row);
    layout->addWidget(OkCancel(this));
}

void TlibFormHora::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    const QTime now = QTime::currentTime();
    Horas->setValue(now.hour());
    Minutos->setValue(now.minute());
    Segundos->setValue(now.second());
}

TlibFormData::TlibFormData(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Data"));
    auto* layout = new QVBoxLayout(this);
    Calendario = new QCalendarWidget(this);
    layout->addWidget(Calendario);
    layout->addWidget(OkCancel(this));
}

void TlibFormData::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Calendario->setSelectedDate(QDate::currentDate());
}
