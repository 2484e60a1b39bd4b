// A dBase table of 3,000 records that all name one memo of a megabyte:
// queries of the forms the attribute tables run (every record, the
// non-live query's "WHERE ID > 0", an order, a computed length) against
// the walk of the table, which reads the memo once and hands every record
// the same text. Each benchmark also runs once in a fresh process of this
// program, whose peak resident size is reported, with its ratio to the
// walk's (the goal: at most 2). Last, an order on an expression, which
// SQLite sorts itself carrying every row's memo: its goal is only a bound
// (a few hundred megabytes where the rows hold gigabytes).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "platform/db/Query.h"
#include "platform/db/Table.h"

namespace {

constexpr int kRecords = 3000;
constexpr int kMemoBytes = 1 << 20;
const char* const kChildForm = "KZ_SHARED_MEMO_FORM";
const char* const kChildFile = "KZ_SHARED_MEMO_FILE";
const char* const kChildPeak = "KZ_SHARED_MEMO_PEAK";

void PutLe(unsigned char* p, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}

// ID N(10), NOTE M(10) naming block 1 in every record; a dBase IV memo
// file whose block 1 holds the text (code page 1252, accents included).
void WriteTable(const QString& name) {
    std::string bytes(32 + 64 + 1, '\0');
    auto* h = reinterpret_cast<unsigned char*>(bytes.data());
    h[0] = 0x8B;
    PutLe(h + 4, kRecords, 4);
    PutLe(h + 8, static_cast<std::uint32_t>(bytes.size()), 2);
    PutLe(h + 10, 21, 2);
    h[29] = 0x03;
    std::memcpy(h + 32, "ID", 2);
    h[32 + 11] = 'N';
    h[32 + 16] = 10;
    std::memcpy(h + 64, "NOTE", 4);
    h[64 + 11] = 'M';
    h[64 + 16] = 10;
    bytes.back() = 0x0D;
    char rec[32];
    for (int i = 0; i < kRecords; ++i) {
        std::snprintf(rec, sizeof rec, " %10d%10d", i + 1, 1);
        bytes.append(rec, 21);
    }
    bytes += '\x1A';
    QFile dbf(name);
    if (!dbf.open(QIODevice::WriteOnly) || dbf.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()))
        std::abort();
    std::string memo(512, '\0');
    PutLe(reinterpret_cast<unsigned char*>(memo.data()), 2 + kMemoBytes / 512 + 1, 4);
    PutLe(reinterpret_cast<unsigned char*>(memo.data()) + 20, 512, 2);
    memo += "\xFF\xFF\x08";
    memo += '\0';
    unsigned char length[4];
    PutLe(length, kMemoBytes + 8, 4);
    memo.append(reinterpret_cast<const char*>(length), 4);
    for (int i = 0; i < kMemoBytes; ++i) memo += i % 64 == 0 ? '\xE7' : "Ocupa\xE7\xE3o da encosta "[i % 20];
    QFile dbt(QString(name).replace(QStringLiteral(".dbf"), QStringLiteral(".dbt")));
    if (!dbt.open(QIODevice::WriteOnly) || dbt.write(memo.data(), static_cast<qint64>(memo.size())) != static_cast<qint64>(memo.size()))
        std::abort();
}

struct TData {
    QTemporaryDir Dir;
    QString File;
    TData() {
        File = Dir.path() + QStringLiteral("/setores.dbf");
        WriteTable(File);
    }
};

TData& Data() {
    static TData data;
    return data;
}

// The SQL of a form ("" for the walk of the table).
QString FormSql(const std::string& form, const QString& file) {
    const QString from = QStringLiteral(" FROM \"") + file + u'"';
    if (form == "all") return QStringLiteral("SELECT *") + from;
    if (form == "where") return QStringLiteral("SELECT *") + from + QStringLiteral(" WHERE ID > 0");
    if (form == "order") return QStringLiteral("SELECT *") + from + QStringLiteral(" WHERE ID > 0 ORDER BY ID DESC");
    if (form == "length") return QStringLiteral("SELECT ID, NOTE, length(NOTE) AS N") + from + QStringLiteral(" WHERE ID > 0");
    if (form == "order-expr")
        return QStringLiteral("SELECT *") + from + QStringLiteral(" WHERE ID > 0 ORDER BY length(NOTE) + ID DESC");
    return QString();
}

// Every record's memo as text; the total length.
std::int64_t Walk(TDataSet& d) {
    TField* note = d.FieldByName(QStringLiteral("NOTE"));
    std::int64_t total = 0;
    for (d.First(); !d.Eof(); d.Next()) total += note->AsString().size();
    if (d.RecordCount() != kRecords) std::abort();
    return total;
}

std::int64_t Run(const std::string& form, const QString& file) {
    const QString sql = FormSql(form, file);
    if (sql.isEmpty()) {
        TTable t;
        t.SetDatabaseName(QFileInfo(file).absolutePath());
        t.SetTableName(QFileInfo(file).fileName());
        t.Open();
        return Walk(t);
    }
    TQuery q;
    q.SetSQLText(sql);
    q.Open();
    return Walk(q);
}

// In a child of this program (PeakMegabytes) the benchmark runs its form
// once, writes its peak resident size (VmHWM, kB: the process's own,
// which the parent's size at the fork does not enter) and ends.
void EndIfChild() {
    const char* form = std::getenv(kChildForm);
    const char* file = std::getenv(kChildFile);
    const char* peak = std::getenv(kChildPeak);
    if (!form || !file || !peak) return;
    const bool ran = Run(form, QString::fromLocal8Bit(file)) > 0;
    QFile status(QStringLiteral("/proc/self/status"));
    QFile out(QString::fromLocal8Bit(peak));
    if (!ran || !status.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) std::_Exit(1);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) out.write(line.mid(6).trimmed());
    out.close();
    std::_Exit(0);
}

// The peak resident size, in MB, of a fresh process running the form once.
double PeakMegabytes(const std::string& form, const std::string& benchmark) {
    const QString peakFile = Data().Dir.path() + QStringLiteral("/peak-") + QString::fromStdString(form);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv(kChildForm, form.c_str(), 1);
        ::setenv(kChildFile, QFile::encodeName(Data().File).constData(), 1);
        ::setenv(kChildPeak, QFile::encodeName(peakFile).constData(), 1);
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) {
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
        }
        const std::string filter = "--benchmark_filter=^" + benchmark;
        ::execl("/proc/self/exe", "/proc/self/exe", filter.c_str(), static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    QFile in(peakFile);
    if (!in.open(QIODevice::ReadOnly)) return -1;
    return in.readAll().split(' ').value(0).toDouble() / 1024.0;
}

// name: the benchmark's, which the child process runs.
void Measure(benchmark::State& state, const std::string& form, const std::string& name) {
    EndIfChild();
    const QString file = Data().File;
    for (auto _ : state) benchmark::DoNotOptimize(Run(form, file));
    static std::map<std::string, double> peaks;
    auto peak = [&](const std::string& f, const std::string& benchmark) {
        auto it = peaks.find(f);
        if (it == peaks.end()) it = peaks.emplace(f, PeakMegabytes(f, benchmark)).first;
        return it->second;
    };
    const double walk = peak("walk", "BM_SharedMemoWhere/peer");
    const double mine = peak(form, name);
    state.counters["peak_MB"] = mine;
    state.counters["peak_vs_walk"] = walk > 0 ? mine / walk : -1;
    state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_Walk(benchmark::State& state) { Measure(state, "walk", "BM_SharedMemoWhere/peer"); }
void BM_All(benchmark::State& state) { Measure(state, "all", "BM_SharedMemoAll/ours"); }
void BM_Where(benchmark::State& state) { Measure(state, "where", "BM_SharedMemoWhere/ours"); }
void BM_Order(benchmark::State& state) { Measure(state, "order", "BM_SharedMemoOrder/ours"); }
void BM_Length(benchmark::State& state) { Measure(state, "length", "BM_SharedMemoLength/ours"); }
void BM_OrderExpr(benchmark::State& state) { Measure(state, "order-expr", "BM_SharedMemoOrderExpr/ours"); }

}  // namespace

// The non-live query first; the other forms against the same walk.
BENCHMARK(BM_Where)->Name("BM_SharedMemoWhere/ours")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Walk)->Name("BM_SharedMemoWhere/peer")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_All)->Name("BM_SharedMemoAll/ours")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Walk)->Name("BM_SharedMemoAll/peer")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Order)->Name("BM_SharedMemoOrder/ours")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Walk)->Name("BM_SharedMemoOrder/peer")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Length)->Name("BM_SharedMemoLength/ours")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Walk)->Name("BM_SharedMemoLength/peer")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OrderExpr)->Name("BM_SharedMemoOrderExpr/ours")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Walk)->Name("BM_SharedMemoOrderExpr/peer")->Unit(benchmark::kMillisecond)->Iterations(3);
