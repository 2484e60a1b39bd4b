#pragma once
// Small text helpers of the table settings: comma text (items separated by
// ",", an item holding a blank, a comma or a double quote written in
// double quotes with inner quotes doubled) and component names.
#include <QString>
#include <QStringList>

QString ListToCommaText(const QStringList& items);
QStringList CommaTextToList(const QString& text);
// The field name with every character dropped whose upper-case form is not
// a digit, A-Z or "_".
QString FieldComponentName(const QString& fieldName);
