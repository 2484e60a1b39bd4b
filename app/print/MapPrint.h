#pragma once
// The generic window's print action: the print dialog, then the map view's
// page on the chosen printer (or a PDF file), titled "KOVI - " and the
// window's caption. It runs to its end without processing events, so the
// window cannot be closed nor another map opened meanwhile.
#include <QString>

class QWidget;
class TDrawing;

void PrintMap(QWidget* parent, TDrawing& view, const QString& caption);
