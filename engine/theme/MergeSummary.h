#pragma once
// The merging summary of a theme layer's attribute table (the table's
// MergeHandler, set by the layer): the records grouped by a field make a
// new theme layer, one object per group with the group's summary record.
#include <QString>
#include <QStringList>

class TLayerTable;
class TThemeLayer;

// Writes the new layer file ChangeFileExt(table, ".cam") in `database`
// with the table `table` beside it. Polygons of a group (ThemeLayerType 2)
// are united, lines get the other lines' contours, other shapes are added
// to the first. With the source's Selection only selected objects count.
// An existing table or layer file raises EDatabaseError; on any error the
// files made so far are removed and the error raised.
void MergeSummary(const TThemeLayer& layer, TLayerTable& source, const QString& database, const QString& table,
                  QStringList& lines, const QString& groupField);
