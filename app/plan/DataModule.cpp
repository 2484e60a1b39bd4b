#include "app/plan/DataModule.h"

#include "app/dialogs/DataFolder.h"
#include "core/Errors.h"
#include "platform/db/Fields.h"

TDM* DM = nullptr;

TDM::TDM() {
    if (!DM) DM = this;
    DatabaseTREL.SetAliasName(kPlanAlias);
    DatabaseTREL.SetDatabaseName(kPlanDatabase);
    DatabaseTREL.SetLoginPrompt(false);
    DatabaseTREL.SetReadOnly(true);

    Morros.SetName(QStringLiteral("Morros"));
    Morros.SetDatabaseName(kPlanDatabase);
    Morros.SetSQL({QStringLiteral("select * from morros order by cod_morro asc")});

    Setores.SetName(QStringLiteral("Setores"));
    Setores.SetDatabaseName(kPlanDatabase);
    Setores.SetSQL({QStringLiteral("select * from setores order by cod_morrosetor asc")});

    MorrosTb.SetName(QStringLiteral("MorrosTb"));
    MorrosTb.SetDatabaseName(kPlanDatabase);
    MorrosTb.SetTableName(QStringLiteral("Morros"));
    MorrosTb.SetReadOnly(true);

    SetoresMorros.SetName(QStringLiteral("SetoresMorros"));
    SetoresMorros.SetDatabaseName(kPlanDatabase);
    SetoresMorros.SetSQL({QStringLiteral("select * from setores where cod_morro = :cod_morro"),
                          QStringLiteral("order by cod_morrosetor asc")});
    TParam& codMorro = SetoresMorros.ParamByName(QStringLiteral("cod_morro"));
    codMorro.DataType = ftString;
    codMorro.Size = 11;
    SetoresMorros.SetDataSource(&MorrosFonte);
    MorrosFonte.AddDetail(&SetoresMorros, [this] { FollowHill(); });

    Intervencoes.SetName(QStringLiteral("Intervencoes"));
    Intervencoes.SetDatabaseName(kPlanDatabase);
    Intervencoes.SetSQL({QStringLiteral("select i.*,s.* from intervencoes i "),
                         QStringLiteral("left outer join setores s on (i.setor = s.cod_morrosetor)"),
                         QStringLiteral("order by i.ordem asc")});

    Logradouros.SetName(QStringLiteral("Logradouros"));
    Logradouros.SetTableName(kLogradourosTable);
    Logradouros.SetReadOnly(true);

    MorrosFonte.SetDataSet(&Morros);
    SetoresFonte.SetDataSet(&Setores);
    SetoresMorrosFonte.SetDataSet(&SetoresMorros);
    IntervencoesFonte.SetDataSet(&Intervencoes);
    LogradourosFonte.SetDataSet(&Logradouros);
}

TDM::~TDM() {
    models_.clear();
    // The sources go before the datasets: the detail lets go of its master
    // first.
    SetoresMorros.SetDataSource(nullptr);
    if (DM == this) DM = nullptr;
}

QString TDM::DataFolderDatabase() {
    // Where the alias names it (the plan's own name when there is none).
    QString named = Session().AliasPath(kPlanAlias).trimmed();
    if (named.isEmpty()) named = QStringLiteral("trel.db");
    return PlanFile(named);
}

void TDM::Open() {
    if (opened_) return;
    opened_ = true;
    // The database of the plan in the data folder, wherever the alias
    // points: a plan moved or copied elsewhere opens whole, and a plan
    // without its database is told so, never given another plan's.
    const QString local = DataFolderDatabase();
    if (!local.isEmpty()) DatabaseTREL.SetParamValue(QStringLiteral("PATH"), local);
    QString& databaseError = databaseError_;
    try {
        DatabaseTREL.Open();
    } catch (const EEngineError& e) {
        databaseError = e.Message();
    }
    for (TDataSet* ds : {static_cast<TDataSet*>(&MorrosTb), static_cast<TDataSet*>(&Morros),
                         static_cast<TDataSet*>(&Setores), static_cast<TDataSet*>(&SetoresMorros),
                         static_cast<TDataSet*>(&Intervencoes)}) {
        if (databaseError.isEmpty()) OpenDataSet(*ds);
        else errors_[ds] = databaseError;
        // The lookup's names, before the datasets that show them open.
        if (ds == &MorrosTb && MorrosTb.Active()) {
            TField* code = MorrosTb.FindField(QStringLiteral("cod_morro"));
            TField* name = MorrosTb.FindField(QStringLiteral("nome"));
            if (code && name)
                for (int row = 0; row < MorrosTb.RecordCount(); ++row)
                    morroNomes_.insert(code->TextOf(MorrosTb.RecordValue(row, code->Index())),
                                       name->TextOf(MorrosTb.RecordValue(row, name->Index())));
        }
    }
    Logradouros.SetDatabaseName(DataPath(kLogradourosFolder));
    OpenDataSet(Logradouros);

}

void TDM::OpenDataSet(TDataSet& dataSet) {
    try {
        dataSet.Open();
        errors_.erase(&dataSet);
    } catch (const EEngineError& e) {
        errors_[&dataSet] = e.Message();
    }
}

void TDM::FollowHill() {
    if (!SetoresMorros.Active() || SetoresMorros.State() != dsBrowse) return;
    try {
        SetoresMorros.Refresh();
        SetoresMorros.First();
    } catch (const EEngineError& e) {
        // The query closed itself; its windows show why.
        errors_[&SetoresMorros] = e.Message();
    }
}

QString TDM::OpenError(const TDataSet& dataSet) const {
    const auto it = errors_.find(&dataSet);
    return it == errors_.end() ? QString() : it->second;
}

QStringList TDM::Errors() const {
    // The database that did not open: said once, not once a dataset.
    QStringList out;
    if (!databaseError_.isEmpty()) out << QStringLiteral("Banco de dados do TREL: ") + databaseError_;
    for (const TDataSet* ds : {static_cast<const TDataSet*>(&Morros), static_cast<const TDataSet*>(&Setores),
                               static_cast<const TDataSet*>(&MorrosTb), static_cast<const TDataSet*>(&SetoresMorros),
                               static_cast<const TDataSet*>(&Intervencoes), static_cast<const TDataSet*>(&Logradouros)}) {
        const QString e = OpenError(*ds);
        if (!e.isEmpty() && e != databaseError_) out << ds->Name() + QStringLiteral(": ") + e;
    }
    return out;
}

QString TDM::MorroNome(const QString& codMorro) const { return morroNomes_.value(codMorro); }

TModelColumn TDM::MorroColumn(const QString& title) const {
    return {QStringLiteral("morro"), title, QStringLiteral("cod_morro"),
            [this](const QString& code) { return MorroNome(code); }};
}

TDataSetModel& TDM::Model(TDataSource& source) {
    auto& model = models_[&source];
    if (!model) model = std::make_unique<TDataSetModel>(&source);
    return *model;
}
