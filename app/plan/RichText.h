#pragma once
// The plan's rich-text files (staff, justification, methodology chapters)
// read into text controls, each on its own.
#include <QString>

class QTextEdit;

// Reads the file of that name in a media folder under the data folder into
// the control. On failure the control is cleared and the answer is the
// message that says why; empty when the file was read.
QString LoadRichText(QTextEdit& edit, const QString& folder, const QString& name);
