#include "platform/db/Fields.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "core/Errors.h"
#include "core/Numbers.h"
#include "core/UserNumbers.h"
#include "platform/db/DataSet.h"
#include "platform/db/DbError.h"

namespace {

bool IsIntegerType(TFieldType t) {
    return t == ftSmallint || t == ftInteger || t == ftWord || t == ftAutoInc || t == ftLargeint;
}
bool IsFloatType(TFieldType t) { return t == ftFloat || t == ftCurrency || t == ftBCD || t == ftFMTBcd; }
bool IsDateType(TFieldType t) { return t == ftDate || t == ftTime || t == ftDateTime || t == ftTimeStamp; }

// "yyyy-mm-dd", optionally followed by " HH:mm:ss", the forms the tables
// store: read by hand, as every date shown passes here.
struct TIsoStamp {
    int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
    bool HasTime = false;
};

bool TwoDigits(const char* p, int& v) {
    if (p[0] < '0' || p[0] > '9' || p[1] < '0' || p[1] > '9') return false;
    v = (p[0] - '0') * 10 + (p[1] - '0');
    return true;
}

bool ReadIsoStamp(const std::string& s, TIsoStamp& t) {
    if (s.size() != 10 && s.size() != 19) return false;
    const char* p = s.data();
    int hi = 0, lo = 0;
    if (!TwoDigits(p, hi) || !TwoDigits(p + 2, lo) || p[4] != '-' || p[7] != '-' || !TwoDigits(p + 5, t.Month) ||
        !TwoDigits(p + 8, t.Day))
        return false;
    t.Year = hi * 100 + lo;
    if (!QDate::isValid(t.Year, t.Month, t.Day)) return false;
    t.HasTime = s.size() == 19;
    if (!t.HasTime) return true;
    return p[10] == ' ' && TwoDigits(p + 11, t.Hour) && p[13] == ':' && TwoDigits(p + 14, t.Minute) && p[16] == ':' &&
           TwoDigits(p + 17, t.Second) && QTime::isValid(t.Hour, t.Minute, t.Second);
}

QDateTime ParseStoredDate(const std::string& s) {
    TIsoStamp iso;
    if (ReadIsoStamp(s, iso))
        return QDateTime(QDate(iso.Year, iso.Month, iso.Day), QTime(iso.Hour, iso.Minute, iso.Second));
    const QString t = QString::fromStdString(s).trimmed();
    for (const char* f : {"yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-dd HH:mm:ss", "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-dd",
                          "dd/MM/yyyy HH:mm:ss", "dd/MM/yyyy", "yyyyMMdd", "HH:mm:ss.zzz", "HH:mm:ss"}) {
        QDateTime d = QDateTime::fromString(t, QLatin1String(f));
        if (d.isValid()) return d;
        if (f[0] == 'H') {
            const QTime tm = QTime::fromString(t, QLatin1String(f));
            if (tm.isValid()) return QDateTime(QDate(1899, 12, 30), tm);
        }
    }
    return QDateTime();
}

// Milliseconds are kept where there are some.
std::string StoredDate(TFieldType type, const QDateTime& d) {
    if (type == ftDate) return d.date().toString(QStringLiteral("yyyy-MM-dd")).toStdString();
    const QString time = d.time().msec() != 0 ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss");
    if (type == ftTime) return d.time().toString(time).toStdString();
    return d.toString(QStringLiteral("yyyy-MM-dd ") + time).toStdString();
}

// A long text (a memo) as a QString. Records that name one memo hold the
// same text: the last long text converted is kept, and handed out again
// (QString shares it) instead of being converted anew; a shared text is
// known by its address while it lives, another by its bytes.
QString LongText(const TDbValue& v) {
    constexpr std::size_t kLong = 64 << 10;
    const std::string& bytes = v.Text();
    if (bytes.size() < kLong) return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    static thread_local std::weak_ptr<const std::string> lastShared;
    static thread_local std::string lastBytes;
    static thread_local QString lastText;
    if (v.Shared) {
        if (lastShared.lock() != v.Shared) {
            lastText = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
            lastShared = v.Shared;
            lastBytes.clear();
        }
        return lastText;
    }
    if (bytes != lastBytes || !lastShared.expired()) {
        lastText = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
        lastBytes = bytes;
        lastShared.reset();
    }
    return lastText;
}

}  // namespace

QString DbValueText(TFieldType type, const TDbValue& v) {
    switch (v.Kind) {
    case TDbValue::vNull: return QString();
    case TDbValue::vInt:
        if (type == ftBoolean) return v.I ? QStringLiteral("True") : QStringLiteral("False");
        if (IsFloatType(type)) return FormatFloat(static_cast<double>(v.I), kDotDecimal);
        return QString::number(v.I);
    case TDbValue::vFloat:
        if (IsIntegerType(type) && std::abs(v.D) < 9.2e18) return QString::number(static_cast<std::int64_t>(std::llround(v.D)));
        return FormatFloat(v.D, kDotDecimal);
    case TDbValue::vText:
        if (IsDateType(type)) {
            TIsoStamp iso;
            if (type != ftTime && ReadIsoStamp(v.Text(), iso)) {
                char buf[24];
                const int n = type == ftDate ? std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", iso.Day, iso.Month, iso.Year)
                                             : std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", iso.Day,
                                                             iso.Month, iso.Year, iso.Hour, iso.Minute, iso.Second);
                return QString::fromLatin1(buf, n);
            }
            const QDateTime d = ParseStoredDate(v.Text());
            if (d.isValid()) {
                if (type == ftDate) return d.date().toString(QStringLiteral("dd/MM/yyyy"));
                if (type == ftTime) return d.time().toString(QStringLiteral("HH:mm:ss"));
                return d.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
            }
        }
        return LongText(v);
    case TDbValue::vBlob: return QString::fromLatin1(v.S.data(), static_cast<qsizetype>(v.S.size()));
    }
    return QString();
}

TField::TField(TFieldType type) : dataType_(type) { ResetProperties(); }

void TField::ResetProperties() {
    name_.clear();
    fieldName_.clear();
    size_ = 0;
    required_ = false;
    visible_ = true;
    readOnly_ = false;
    displayWidth_ = 10;
    displayLabel_.clear();
    alignment_ = taLeftJustify;
    editMask_.clear();
    displayFormat_.clear();
    editFormat_.clear();
    switch (dataType_) {
    case ftString: case ftFixedChar: case ftWideString: size_ = 20; displayWidth_ = 20; break;
    case ftSmallint: displayWidth_ = 6; alignment_ = taRightJustify; break;
    case ftInteger: case ftAutoInc: displayWidth_ = 11; alignment_ = taRightJustify; break;
    case ftWord: displayWidth_ = 5; alignment_ = taRightJustify; break;
    case ftLargeint: displayWidth_ = 15; alignment_ = taRightJustify; break;
    case ftFloat: case ftCurrency: displayWidth_ = 10; alignment_ = taRightJustify; break;
    case ftBCD: size_ = 4; displayWidth_ = 10; alignment_ = taRightJustify; break;
    case ftBoolean: displayWidth_ = 5; break;
    case ftDate: displayWidth_ = 10; break;
    case ftTime: displayWidth_ = 10; break;
    case ftDateTime: displayWidth_ = 18; break;
    default: displayWidth_ = 10; break;
    }
}

bool TField::CanModify() const { return dataSet_ && writable_ && !readOnly_ && dataSet_->CanModify(); }

const TDbValue& TField::Current() const {
    if (!dataSet_) throw EDatabaseError(QStringLiteral("Campo ") + fieldName_ + QStringLiteral(" sem conjunto de dados."));
    return dataSet_->CurrentValue(index_);
}

void TField::Store(TDbValue v) {
    if (!dataSet_) throw EDatabaseError(QStringLiteral("Campo ") + fieldName_ + QStringLiteral(" sem conjunto de dados."));
    dataSet_->SetFieldValue(index_, std::move(v));
}

bool TField::IsNull() const { return Current().IsNull(); }
QString TField::AsString() const { return TextOf(Current()); }
QString TField::TextOf(const TDbValue& v) const { return DbValueText(dataType_, v); }

QString TField::DisplayTextOf(const TDbValue& v) const {
    if (!IsFloatType(dataType_) || (v.Kind != TDbValue::vFloat && v.Kind != TDbValue::vInt)) return TextOf(v);
    const double d = v.Kind == TDbValue::vFloat ? v.D : static_cast<double>(v.I);
    return std::isfinite(d) ? UserNumber(d, 15, dgPlain) : TextOf(v);
}

std::int64_t TField::AsLargeInt() const {
    const TDbValue& v = Current();
    switch (v.Kind) {
    case TDbValue::vNull: return 0;
    case TDbValue::vInt: return v.I;
    case TDbValue::vFloat:
        if (!(std::abs(v.D) < 9.2e18))
            throw EConvertError(QStringLiteral("O valor %1 do campo %2 não cabe num inteiro").arg(v.D).arg(fieldName_));
        return static_cast<std::int64_t>(std::llround(v.D));
    default: {
        bool ok = false;
        const QString t = TextOf(v).trimmed();
        const qlonglong n = t.toLongLong(&ok);
        if (!ok) throw EConvertError(u'\'' + t + QStringLiteral("' não é um valor inteiro válido"));
        return n;
    }
    }
}

int TField::AsInteger() const {
    const std::int64_t v = AsLargeInt();
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        throw EConvertError(QStringLiteral("O valor %1 do campo %2 não cabe num inteiro de 32 bits").arg(v).arg(fieldName_));
    return static_cast<int>(v);
}

double TField::AsFloat() const {
    const TDbValue& v = Current();
    switch (v.Kind) {
    case TDbValue::vNull: return 0;
    case TDbValue::vInt: return static_cast<double>(v.I);
    case TDbValue::vFloat: return v.D;
    default: {
        double d = 0;
        const QString t = TextOf(v).trimmed();
        if (!TryParseFloat(t, d, kDotDecimal) && !TryParseFloat(t, d, kFileDecimal))
            throw EConvertError(u'\'' + t + QStringLiteral("' não é um valor numérico válido"));
        return d;
    }
    }
}

bool TField::AsBoolean() const {
    const TDbValue& v = Current();
    switch (v.Kind) {
    case TDbValue::vNull: return false;
    case TDbValue::vInt: return v.I != 0;
    case TDbValue::vFloat: return v.D != 0;
    default: {
        const QString t = TextOf(v).trimmed().toUpper();
        return t.startsWith(u'T') || t.startsWith(u'Y') || t.startsWith(u'S') || t == u"1";
    }
    }
}

QDateTime TField::AsDateTime() const {
    const TDbValue& v = Current();
    if (v.Kind == TDbValue::vText) return ParseStoredDate(v.Text());
    if (v.Kind == TDbValue::vFloat || v.Kind == TDbValue::vInt) {
        // A day number counted from 30/12/1899.
        const double days = v.Kind == TDbValue::vFloat ? v.D : static_cast<double>(v.I);
        return QDateTime(QDate(1899, 12, 30), QTime(0, 0)).addMSecs(static_cast<qint64>(std::llround(days * 86400000.0)));
    }
    return QDateTime();
}

QVariant TField::AsVariant() const {
    const TDbValue& v = Current();
    switch (v.Kind) {
    case TDbValue::vNull: return QVariant();
    case TDbValue::vInt: return dataType_ == ftBoolean ? QVariant(v.I != 0) : QVariant(static_cast<qlonglong>(v.I));
    case TDbValue::vFloat: return QVariant(v.D);
    case TDbValue::vText:
        if (IsDateType(dataType_)) return QVariant(AsDateTime());
        return QVariant(LongText(v));
    case TDbValue::vBlob: return QVariant(QByteArray(v.S.data(), static_cast<qsizetype>(v.S.size())));
    }
    return QVariant();
}

TDbValue TField::ValueOfText(const QString& text) const {
    TDbValue out;
    const QString t = text.trimmed();
    if (dataType_ == ftString || dataType_ == ftMemo || dataType_ == ftFmtMemo || dataType_ == ftFixedChar ||
        dataType_ == ftWideString || dataType_ == ftUnknown) {
        if (!text.isEmpty()) out.SetText(text.toStdString());
        return out;
    }
    if (t.isEmpty()) return out;
    if (IsIntegerType(dataType_)) {
        bool ok = false;
        const qlonglong n = t.toLongLong(&ok);
        if (!ok) throw EConvertError(u'\'' + t + QStringLiteral("' não é um valor inteiro válido"));
        out.SetInt(n);
    } else if (IsFloatType(dataType_)) {
        double d = 0;
        if (!TryParseFloat(t, d, kDotDecimal) && !TryParseFloat(t, d, kFileDecimal))
            throw EConvertError(u'\'' + t + QStringLiteral("' não é um valor numérico válido"));
        out.SetFloat(d);
    } else if (dataType_ == ftBoolean) {
        // True, yes, sim, 1; false, no, não, 0: anything else is no answer.
        const QString u = t.toUpper();
        if (u.startsWith(u'T') || u.startsWith(u'Y') || u.startsWith(u'S') || u == u"1") out.SetInt(1);
        else if (u.startsWith(u'F') || u.startsWith(u'N') || u == u"0") out.SetInt(0);
        else throw EConvertError(u'\'' + t + QStringLiteral("' não é um valor lógico válido"));
    } else if (IsDateType(dataType_)) {
        const QDateTime d = ParseStoredDate(t.toStdString());
        if (!d.isValid()) throw EConvertError(u'\'' + t + QStringLiteral("' não é uma data válida"));
        // A date field keeps no time of day, a time field no date: the half
        // it would drop is refused, not lost.
        if (dataType_ == ftDate && d.time() != QTime(0, 0))
            throw EConvertError(u'\'' + t + QStringLiteral("' não é uma data válida (o campo não guarda a hora)"));
        if (dataType_ == ftTime && d.date() != QDate(1899, 12, 30))
            throw EConvertError(u'\'' + t + QStringLiteral("' não é uma hora válida (o campo não guarda a data)"));
        out.SetText(StoredDate(dataType_, d));
    } else {
        out.SetText(text.toStdString());
    }
    return out;
}

TDbValue TField::ValueOfVariant(const QVariant& v) const {
    TDbValue out;
    if (!v.isValid() || v.isNull()) return out;
    switch (v.typeId()) {
    case QMetaType::Bool: out.SetInt(v.toBool() ? 1 : 0); break;
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt: case QMetaType::ULongLong:
        if (IsFloatType(dataType_)) out.SetFloat(v.toDouble());
        else if (IsIntegerType(dataType_) || dataType_ == ftBoolean) out.SetInt(v.toLongLong());
        else out = ValueOfText(v.toString());
        break;
    case QMetaType::Double: case QMetaType::Float:
        if (IsIntegerType(dataType_)) out.SetInt(std::llround(v.toDouble()));
        else if (IsFloatType(dataType_)) out.SetFloat(v.toDouble());
        else out = ValueOfText(FormatFloat(v.toDouble(), kDotDecimal));
        break;
    case QMetaType::QDateTime: out.SetText(StoredDate(dataType_, v.toDateTime())); break;
    case QMetaType::QDate: out.SetText(StoredDate(dataType_, QDateTime(v.toDate(), QTime(0, 0)))); break;
    default: out = ValueOfText(v.toString()); break;
    }
    return out;
}

void TField::SetAsString(const QString& v) { Store(ValueOfText(v)); }
void TField::SetAsInteger(int v) { SetAsLargeInt(v); }
void TField::SetAsLargeInt(std::int64_t v) {
    TDbValue x;
    if (IsFloatType(dataType_)) x.SetFloat(static_cast<double>(v));
    else if (IsIntegerType(dataType_) || dataType_ == ftBoolean) x.SetInt(v);
    else x = ValueOfText(QString::number(v));
    Store(x);
}
void TField::SetAsFloat(double v) { SetAsVariant(QVariant(v)); }
void TField::SetAsBoolean(bool v) {
    TDbValue x;
    if (dataType_ == ftString) x.SetText(v ? "True" : "False");
    else x.SetInt(v ? 1 : 0);
    Store(x);
}
void TField::SetAsDateTime(const QDateTime& v) {
    TDbValue x;
    if (v.isValid()) x.SetText(StoredDate(IsDateType(dataType_) ? dataType_ : ftDateTime, v));
    Store(x);
}
void TField::SetAsVariant(const QVariant& v) { Store(ValueOfVariant(v)); }
void TField::Clear() { Store(TDbValue()); }

std::unique_ptr<TField> CreateField(TFieldType type) {
    switch (type) {
    case ftString: return std::make_unique<TStringField>();
    case ftSmallint: return std::make_unique<TSmallintField>();
    case ftInteger: return std::make_unique<TIntegerField>();
    case ftWord: return std::make_unique<TWordField>();
    case ftAutoInc: return std::make_unique<TAutoIncField>();
    case ftLargeint: return std::make_unique<TLargeintField>();
    case ftBoolean: return std::make_unique<TBooleanField>();
    case ftFloat: return std::make_unique<TFloatField>();
    case ftCurrency: return std::make_unique<TCurrencyField>();
    case ftBCD: return std::make_unique<TBCDField>();
    case ftDate: return std::make_unique<TDateField>();
    case ftTime: return std::make_unique<TTimeField>();
    case ftDateTime: return std::make_unique<TDateTimeField>();
    case ftBytes: return std::make_unique<TBytesField>();
    case ftVarBytes: return std::make_unique<TVarBytesField>();
    case ftBlob: return std::make_unique<TBlobField>();
    case ftMemo: return std::make_unique<TMemoField>();
    case ftGraphic: return std::make_unique<TGraphicField>();
    default: return std::make_unique<TField>(type);
    }
}

// ---- field definitions

void TFieldDefs::Add(const QString& name, TFieldType type, int size, bool required, int width, int decimals) {
    if (IndexOf(name) >= 0) throw EDatabaseError(QStringLiteral("Campo duplicado: ") + name);
    defs_.push_back({name, type, size, required, width, decimals});
}

int TFieldDefs::IndexOf(const QString& name) const {
    for (std::size_t i = 0; i < defs_.size(); ++i)
        if (defs_[i].Name.compare(name.trimmed(), Qt::CaseInsensitive) == 0) return static_cast<int>(i);
    return -1;
}

const TFieldDef* TFieldDefs::Find(const QString& name) const {
    const int i = IndexOf(name);
    return i < 0 ? nullptr : &defs_[static_cast<std::size_t>(i)];
}

// ---- parameters

void TParam::SetAsString(const QString& v) {
    TDbValue x;
    if (DataType == ftInteger || DataType == ftSmallint || DataType == ftWord || DataType == ftLargeint) {
        bool ok = false;
        const qlonglong n = v.trimmed().toLongLong(&ok);
        if (ok) x.SetInt(n);
        else x.SetText(v.toStdString());
    } else if (DataType == ftFloat || DataType == ftCurrency || DataType == ftBCD) {
        double d = 0;
        if (TryParseFloat(v.trimmed(), d, kDotDecimal)) x.SetFloat(d);
        else x.SetText(v.toStdString());
    } else {
        x.SetText(v.toStdString());
    }
    SetValue(x);
    if (DataType == ftUnknown) DataType = ftString;
}

void TParam::SetAsDateTime(const QDateTime& v) {
    TDbValue x;
    x.SetText(StoredDate(DataType == ftUnknown ? ftDateTime : DataType, v));
    SetValue(x);
}

void TParam::SetAsVariant(const QVariant& v) {
    TDbValue x;
    if (!v.isValid() || v.isNull()) {
        SetValue(x);
        return;
    }
    switch (v.typeId()) {
    case QMetaType::Bool: x.SetInt(v.toBool()); break;
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt: case QMetaType::ULongLong: x.SetInt(v.toLongLong()); break;
    case QMetaType::Double: case QMetaType::Float: x.SetFloat(v.toDouble()); break;
    case QMetaType::QDateTime: SetAsDateTime(v.toDateTime()); return;
    default: SetAsString(v.toString()); return;
    }
    SetValue(x);
}

QString TParam::AsString() const { return DbValueText(DataType, value_); }

TParam* TParams::FindParam(const QString& name) {
    // The names differ in more than letter case: one written as in the
    // text is the one.
    for (TParam& p : items_)
        if (p.Name == name) return &p;
    for (TParam& p : items_)
        if (p.Name.compare(name, Qt::CaseInsensitive) == 0) return &p;
    return nullptr;
}

TParam& TParams::ParamByName(const QString& name) {
    TParam* p = FindParam(name);
    if (!p) throw EDatabaseError(QStringLiteral("Parâmetro não encontrado: ") + name);
    return *p;
}

void TParams::Rebuild(const QStringList& names) {
    std::vector<TParam> next;
    for (const QString& n : names) {
        if (TParam* old = FindParam(n)) {
            next.push_back(*old);
        } else {
            TParam p;
            p.Name = n;
            next.push_back(p);
        }
    }
    items_ = std::move(next);
}
