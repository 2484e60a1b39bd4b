#pragma once
// The plan's rich-text files (staff, justification, methodology chapters)
// read into text controls.
#include <QString>

class QTextEdit;

// Reads the file of that name in a media folder under the data folder into
// the control. On failure the answer is the message that names the file
// and says why (empty when the file was read whole); a damaged file leaves
// in the control the part that could be read, any other failure an empty
// control.
QString LoadRichText(QTextEdit& edit, const QString& folder, const QString& name);
