#pragma once
// The small forms of the viewer: the intro form shown while the program
// starts, the about box with this machine's memory figures, and the
// forms created at start-up that the viewer itself never shows (selection
// mode, opening notice, time and date).
#include <cstdint>

#include <QDialog>

class QCalendarWidget;
class QLabel;
class QRadioButton;
class QSpinBox;

// The memory figures of this machine and process, in bytes.
struct TMemoryStatus {
    int MemoryLoad = 0;  // share of physical memory in use, percent
    std::uint64_t TotalPhys = 0, AvailPhys = 0;
    std::uint64_t TotalPageFile = 0, AvailPageFile = 0;  // the swap space
    std::uint64_t TotalVirtual = 0, AvailVirtual = 0;    // the process's address space
};
TMemoryStatus ReadMemoryStatus();
// A figure as the about box shows it ("#,##0" with the locale's group
// separator).
QString MemoryFigure(std::uint64_t bytes);

class TkoviAboutBox : public QDialog {
public:
    explicit TkoviAboutBox(QWidget* parent = nullptr);
    QLabel *MemoriaEmUso, *MemoriaFisica, *MemoriaFisicaDisponivel, *MemoriaPaginada, *MemoriaPaginadaDisponivel,
        *MemoriaVirtual, *MemoriaVirtualDisponivel;

protected:
    // Reads the memory figures afresh on every show.
    void showEvent(QShowEvent* event) override;
};

// The picture shown while the program starts.
class TkoviFormIntro : public QWidget {
public:
    explicit TkoviFormIntro(QWidget* parent = nullptr);
    // Shows the form and paints it at once (before the event loop runs).
    void ShowIntro();
};

class TlibFormModoSelecao : public QDialog {
public:
    explicit TlibFormModoSelecao(QWidget* parent = nullptr);
    // 0 "Selecionar de Todos", 1 "Selecionar da Seleção", 2 "Adicionar à Seleção".
    int ModoSelecao() const;
    void SetModoSelecao(int mode);

private:
    QRadioButton* modes_[3];
};

class TlibFormAbrindo : public QDialog {
public:
    explicit TlibFormAbrindo(QWidget* parent = nullptr);
};

class TlibFormHora : public QDialog {
public:
    explicit TlibFormHora(QWidget* parent = nullptr);
    QSpinBox *Horas, *Minutos, *Segundos;

protected:
    // Takes the current time.
    void showEvent(QShowEvent* event) override;
};

class TlibFormData : public QDialog {
public:
    explicit TlibFormData(QWidget* parent = nullptr);
    QCalendarWidget* Calendario;

protected:
    // Takes today's date.
    void showEvent(QShowEvent* event) override;
};
