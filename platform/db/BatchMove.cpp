#include "platform/db/BatchMove.h"

#include <sqlite3.h>

#include "platform/db/DbError.h"
#include "platform/db/Session.h"

void TBatchMove::Execute() {
    moved_ = 0;
    if (!source_ || !destination_) throw EDatabaseError(QStringLiteral("Origem ou destino não informado."));
    const bool sourceWasActive = source_->Active();
    source_->Open();
    if (mode_ == batCopy) {
        destination_->Close();
        destination_->FieldDefs().Assign(source_->FieldDefs());
        destination_->CreateTable();
    }
    const bool destWasActive = destination_->Active();
    destination_->Close();
    destination_->UpdateFieldDefs();
    const TFieldDefs& dest = destination_->FieldDefs();
    QStringList cols, marks;
    std::vector<int> from;
    for (int i = 0; i < dest.Count(); ++i) {
        TField* f = source_->FindField(dest[i].Name);
        if (!f) continue;
        cols << QuoteIdent(dest[i].Name);
        marks << QStringLiteral("?");
        from.push_back(f->Index());
    }
    TSession& s = *destination_->Session();
    const QString sql = QStringLiteral("INSERT INTO ") + destination_->SqlName() + QStringLiteral(" (") + cols.join(u',') +
                        QStringLiteral(") VALUES (") + marks.join(u',') + u')';
    if (cols.isEmpty()) throw EDatabaseError(QStringLiteral("Nenhum campo em comum entre origem e destino."));
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(s.Handle(), sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) s.RaiseError();
    const bool own = !s.InTransaction();
    int moved = 0;
    try {
        if (own) s.Exec(QStringLiteral("BEGIN"));
        for (int r = 0; r < source_->RecordCount(); ++r) {
            sqlite3_reset(st);
            for (std::size_t k = 0; k < from.size(); ++k) {
                const TDbValue& v = source_->RecordValue(r, from[k]);
                const int idx = static_cast<int>(k + 1);
                switch (v.Kind) {
                case TDbValue::vNull: sqlite3_bind_null(st, idx); break;
                case TDbValue::vInt: sqlite3_bind_int64(st, idx, v.I); break;
                case TDbValue::vFloat: sqlite3_bind_double(st, idx, v.D); break;
                case TDbValue::vText: sqlite3_bind_text(st, idx, v.S.data(), static_cast<int>(v.S.size()), SQLITE_STATIC); break;
                case TDbValue::vBlob: sqlite3_bind_blob(st, idx, v.S.data(), static_cast<int>(v.S.size()), SQLITE_STATIC); break;
                }
            }
            if (sqlite3_step(st) != SQLITE_DONE) s.RaiseError();
            ++moved;
        }
        sqlite3_finalize(st);
        st = nullptr;
        if (own) s.Exec(QStringLiteral("COMMIT"));
    } catch (const EEngineError& e) {
        if (st) sqlite3_finalize(st);
        if (own && s.InTransaction()) {
            try {
                s.Exec(QStringLiteral("ROLLBACK"));
            } catch (const EEngineError&) {
            }
        }
        if (!sourceWasActive) source_->Close();
        throw EDatabaseError(e.Message());
    }
    moved_ = moved;
    if (!sourceWasActive) source_->Close();
    if (destWasActive) destination_->Open();
}
