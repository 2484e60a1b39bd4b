#pragma once
// The plan's data module: the plan's database (a SQLite file under the
// alias "TRELQel", opened read-only), the datasets the record windows show
// and their data sources. The windows bind to the data sources; the main
// window moves the datasets (identify, search) and every window on the
// same source follows.
//
// Each dataset opens on its own: one that fails (missing database, missing
// table) stays closed and keeps its error, which the windows bound to it
// show; the others open.
//
// Ownership: TDM owns its database, datasets, data sources and the item
// models over them. DM is the one the program made (set and cleared by
// the module itself). The start-up makes it with the other forms and opens
// it once the data folder is known.
#include <map>
#include <memory>

#include <QHash>
#include <QString>
#include <QStringList>

#include "app/plan/DataControls.h"
#include "platform/db/DataSetModel.h"
#include "platform/db/DataSource.h"
#include "platform/db/Query.h"
#include "platform/db/Session.h"
#include "platform/db/Table.h"

// The alias of the plan's database and the name its datasets use.
inline const QString kPlanAlias = QStringLiteral("TRELQel");
inline const QString kPlanDatabase = QStringLiteral("TREL");
// The folder of the street-axis table as the plan names it (read under the
// data folder), and the table.
inline const QString kLogradourosFolder = QStringLiteral("c:\\trel\\marvela\\camadas");
inline const QString kLogradourosTable = QStringLiteral("eixo_logradouros.dbf");

class TDM {
public:
    TDM();
    ~TDM();
    TDM(const TDM&) = delete;
    TDM& operator=(const TDM&) = delete;

    // Connects the database and opens the six datasets, each on its own.
    // Runs once; with a data folder the database is the one in it (see
    // DataFolderDatabase), else the alias's; the street-axis table is
    // looked up under the data folder found by then.
    void Open();
    // True once Open has run.
    bool Opened() const { return opened_; }
    // The plan's database file in the data folder, where the alias names it
    // (PlanFile), whether it is there or not; empty without a data folder.
    static QString DataFolderDatabase();

    TDatabase DatabaseTREL;
    TQuery Morros;
    TQuery Setores;
    TTable MorrosTb;
    // The sectors of the current hill of MorrosFonte; a move of the hill
    // requeries it and puts it on its first sector.
    TQuery SetoresMorros;
    TQuery Intervencoes;
    TTable Logradouros;
    TDataSource MorrosFonte, SetoresFonte, SetoresMorrosFonte, IntervencoesFonte, LogradourosFonte;

    // Why a dataset did not open (empty when it is open or was never asked
    // to), and every such error, one line each ("Morros: ...").
    QString OpenError(const TDataSet& dataSet) const;
    QStringList Errors() const;

    // The lookup field "morro" of the sector datasets: the name of the hill
    // of that code in MorrosTb (empty when there is none).
    QString MorroNome(const QString& codMorro) const;
    // That lookup as a column of a TFieldsModel.
    TModelColumn MorroColumn(const QString& title = QString()) const;

    // The item model over one of the module's data sources, shared by every
    // window that shows it.
    TDataSetModel& Model(TDataSource& source);

private:
    void OpenDataSet(TDataSet& dataSet);
    void FollowHill();

    std::map<const TDataSet*, QString> errors_;
    QString databaseError_;
    QHash<QString, QString> morroNomes_;
    std::map<const TDataSource*, std::unique_ptr<TDataSetModel>> models_;
    bool opened_ = false;
};

// The program's data module; nullptr while there is none.
extern TDM* DM;
