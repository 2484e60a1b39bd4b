#pragma once
// Fields of a dataset, field definitions and query parameters.
//
// A TField is owned by its dataset (the dataset's field list, made on each
// open: an open of the fields of the last one takes that one's objects
// back, every property reset) or, when created by CreateField and kept by a
// caller, by that caller; it reads and writes the dataset's current record.
#include <memory>
#include <vector>

#include <QDateTime>
#include <QString>
#include <QVariant>

#include "core/Codes.h"
#include "platform/db/TableStore.h"

class TDataSet;

class TField {
public:
    explicit TField(TFieldType type);
    virtual ~TField() = default;
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    TDataSet* DataSet() const { return dataSet_; }
    int Index() const { return index_; }
    // Component name (the caller's; empty for the fields an open makes).
    const QString& Name() const { return name_; }
    void SetName(const QString& v) { name_ = v; }
    const QString& FieldName() const { return fieldName_; }
    void SetFieldName(const QString& v) { fieldName_ = v; }
    TFieldType DataType() const { return dataType_; }
    int Size() const { return size_; }
    void SetSize(int v) { size_ = v; }
    bool Required() const { return required_; }
    void SetRequired(bool v) { required_ = v; }

    // Display properties.
    bool Visible() const { return visible_; }
    void SetVisible(bool v) { visible_ = v; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool v) { readOnly_ = v; }
    int DisplayWidth() const { return displayWidth_; }
    void SetDisplayWidth(int v) { displayWidth_ = v; }
    // The label set, else the field name.
    QString DisplayLabel() const { return displayLabel_.isEmpty() ? fieldName_ : displayLabel_; }
    void SetDisplayLabel(const QString& v) { displayLabel_ = v; }
    QString DisplayName() const { return DisplayLabel(); }
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment v) { alignment_ = v; }
    const QString& EditMask() const { return editMask_; }
    void SetEditMask(const QString& v) { editMask_ = v; }
    const QString& DisplayFormat() const { return displayFormat_; }
    void SetDisplayFormat(const QString& v) { displayFormat_ = v; }
    const QString& EditFormat() const { return editFormat_; }
    void SetEditFormat(const QString& v) { editFormat_ = v; }
    // Whether the field can be written at all (a computed column of a
    // live query cannot).
    bool CanModify() const;

    // Values of the current record. Numbers as text use "." as decimal
    // separator; dates read "dd/mm/yyyy".
    bool IsNull() const;
    QString AsString() const;
    int AsInteger() const;
    std::int64_t AsLargeInt() const;
    double AsFloat() const;
    bool AsBoolean() const;
    QDateTime AsDateTime() const;
    QVariant AsVariant() const;
    // The text shown to the user: a real number as the user writes it
    // (core/UserNumbers.h), anything else as AsString.
    QString DisplayText() const { return DisplayTextOf(Current()); }
    QString Text() const { return AsString(); }

    // Writes; the dataset must be in edit or insert state.
    void SetAsString(const QString& v);
    void SetAsInteger(int v);
    void SetAsLargeInt(std::int64_t v);
    void SetAsFloat(double v);
    void SetAsBoolean(bool v);
    void SetAsDateTime(const QDateTime& v);
    void SetAsVariant(const QVariant& v);
    void Clear();

    // The text of a stored value as this field shows it.
    QString TextOf(const TDbValue& v) const;
    // The same as DisplayText shows it.
    QString DisplayTextOf(const TDbValue& v) const;
    // A value of this field's type from a text; raises EConvertError.
    TDbValue ValueOfText(const QString& text) const;
    TDbValue ValueOfVariant(const QVariant& v) const;

    // Internal: binding to the dataset.
    void Bind(TDataSet* dataSet, int index, bool writable) {
        dataSet_ = dataSet;
        index_ = index;
        writable_ = writable;
    }
    // Internal: every property back to what a new field of the type has
    // (the dataset gives an open the field objects of its last one).
    void ResetProperties();

private:
    const TDbValue& Current() const;
    void Store(TDbValue v);

    TDataSet* dataSet_ = nullptr;
    int index_ = -1;
    bool writable_ = false;
    // The properties (ResetProperties sets every one of them).
    QString name_, fieldName_;
    TFieldType dataType_;
    int size_ = 0;
    bool required_ = false;
    bool visible_ = true;
    bool readOnly_ = false;
    int displayWidth_ = 10;
    QString displayLabel_;
    TAlignment alignment_ = taLeftJustify;
    QString editMask_, displayFormat_, editFormat_;
};

// The field classes by data type; they differ only in their type and
// display defaults.
#define KZ_FIELD_CLASS(cls, type)                     \
    class cls : public TField {                       \
    public:                                           \
        cls() : TField(type) {}                       \
    };
KZ_FIELD_CLASS(TStringField, ftString)
KZ_FIELD_CLASS(TSmallintField, ftSmallint)
KZ_FIELD_CLASS(TIntegerField, ftInteger)
KZ_FIELD_CLASS(TWordField, ftWord)
KZ_FIELD_CLASS(TAutoIncField, ftAutoInc)
KZ_FIELD_CLASS(TLargeintField, ftLargeint)
KZ_FIELD_CLASS(TBooleanField, ftBoolean)
KZ_FIELD_CLASS(TFloatField, ftFloat)
KZ_FIELD_CLASS(TCurrencyField, ftCurrency)
KZ_FIELD_CLASS(TBCDField, ftBCD)
KZ_FIELD_CLASS(TDateField, ftDate)
KZ_FIELD_CLASS(TTimeField, ftTime)
KZ_FIELD_CLASS(TDateTimeField, ftDateTime)
KZ_FIELD_CLASS(TBytesField, ftBytes)
KZ_FIELD_CLASS(TVarBytesField, ftVarBytes)
KZ_FIELD_CLASS(TBlobField, ftBlob)
KZ_FIELD_CLASS(TMemoField, ftMemo)
KZ_FIELD_CLASS(TGraphicField, ftGraphic)
#undef KZ_FIELD_CLASS

// A field object of the class for the type (a plain TField for others).
std::unique_ptr<TField> CreateField(TFieldType type);

struct TFieldDef {
    QString Name;
    TFieldType DataType = ftUnknown;
    int Size = 0;
    bool Required = false;
    // Numbers of a dBase table: the width of their text and its decimals
    // (a width of 0: the table's default for the type).
    int Width = 0;
    int Decimals = 0;
};

class TFieldDefs {
public:
    void Add(const QString& name, TFieldType type, int size = 0, bool required = false, int width = 0, int decimals = 0);
    void Clear() { defs_.clear(); }
    int Count() const { return static_cast<int>(defs_.size()); }
    const TFieldDef& operator[](int i) const { return defs_.at(static_cast<std::size_t>(i)); }
    TFieldDef& operator[](int i) { return defs_.at(static_cast<std::size_t>(i)); }
    // Case-insensitive; -1 when absent.
    int IndexOf(const QString& name) const;
    const TFieldDef* Find(const QString& name) const;
    void Delete(int i) { defs_.erase(defs_.begin() + i); }
    const std::vector<TFieldDef>& Items() const { return defs_; }
    void Assign(const TFieldDefs& other) { defs_ = other.defs_; }

private:
    std::vector<TFieldDef> defs_;
};

// A named parameter of a query. A parameter that was never given a value
// takes, when the query has a data source, the master field of its name.
class TParam {
public:
    QString Name;
    TFieldType DataType = ftUnknown;
    int Size = 0;

    bool IsNull() const { return value_.IsNull(); }
    bool Bound() const { return bound_; }
    void SetBound(bool v) { bound_ = v; }
    const TDbValue& Value() const { return value_; }
    void SetValue(TDbValue v) { value_ = std::move(v); bound_ = true; }
    void SetAsString(const QString& v);
    void SetAsInteger(int v) { TDbValue x; x.SetInt(v); SetValue(x); }
    void SetAsFloat(double v) { TDbValue x; x.SetFloat(v); SetValue(x); }
    void SetAsBoolean(bool v) { TDbValue x; x.SetInt(v ? 1 : 0); SetValue(x); }
    void SetAsDateTime(const QDateTime& v);
    void SetAsVariant(const QVariant& v);
    void Clear() { value_.SetNull(); bound_ = true; }
    QString AsString() const;

private:
    TDbValue value_;
    bool bound_ = false;
};

class TParams {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    TParam& operator[](int i) { return items_.at(static_cast<std::size_t>(i)); }
    const TParam& operator[](int i) const { return items_.at(static_cast<std::size_t>(i)); }
    TParam* FindParam(const QString& name);
    // Raises EDatabaseError when there is none.
    TParam& ParamByName(const QString& name);
    // Keeps the parameters of these names (values and types of those
    // that stay), in this order.
    void Rebuild(const QStringList& names);
    void Clear() { items_.clear(); }

private:
    std::vector<TParam> items_;
};

// Text of a value by the conventions above, without a field.
QString DbValueText(TFieldType type, const TDbValue& v);
