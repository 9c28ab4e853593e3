#include "platform/sim/store.h"

#include <map>
#include <mutex>
#include <stdexcept>

namespace kestrawl::platform::sim {

namespace {
[[noreturn]] void Fail(sqlite3* db, const std::string& what) {
  throw std::runtime_error(what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}
}  // namespace

SimStore::SimStore(const std::string& path) : path_(path) {
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                      nullptr) != SQLITE_OK) {
    std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
    FinalizeCachedStatements(db_);
    sqlite3_close(db_);
    db_ = nullptr;
    throw std::runtime_error("cannot open machine database " + path + ": " + msg);
  }
  sqlite3_busy_timeout(db_, 30000);
  try {
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=NORMAL");
    Exec("CREATE TABLE IF NOT EXISTS facts (name TEXT PRIMARY KEY, value TEXT NOT NULL)");
  } catch (...) {
    FinalizeCachedStatements(db_);
    sqlite3_close(db_);
    db_ = nullptr;
    throw;
  }
}

SimStore::~SimStore() {
  if (!db_) return;
  FinalizeCachedStatements(db_);
  sqlite3_close(db_);
}

void SimStore::Exec(const std::string& sql) {
  char* msg = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
    std::string text = msg ? msg : "unknown error";
    sqlite3_free(msg);
    throw std::runtime_error("machine database: " + text + " (" + sql.substr(0, 60) + ")");
  }
}

bool SimStore::Transaction(const std::function<bool()>& fn) {
  if (depth_ > 0) {
    ++depth_;
    struct Leave { int& d; ~Leave() { --d; } } leave{depth_};
    return fn();
  }
  Exec("BEGIN IMMEDIATE");
  ++depth_;
  bool ok = false;
  try {
    ok = fn();
  } catch (...) {
    --depth_;
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  --depth_;
  if (ok) {
    Exec("COMMIT");
  } else {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  return ok;
}

std::optional<std::string> SimStore::GetFact(const std::string& name) {
  Statement st(db_, "SELECT value FROM facts WHERE name = ?");
  st.Bind(1, name);
  if (st.Step()) return st.Text(0);
  return std::nullopt;
}

void SimStore::SetFact(const std::string& name, const std::string& value) {
  Statement st(db_, "INSERT INTO facts(name, value) VALUES(?, ?) "
                    "ON CONFLICT(name) DO UPDATE SET value = excluded.value");
  st.Bind(1, name).Bind(2, value);
  st.Step();
}

std::map<std::string, std::string> SimStore::AllFacts() {
  std::map<std::string, std::string> out;
  Statement st(db_, "SELECT name, value FROM facts");
  while (st.Step()) out[st.Text(0)] = st.Text(1);
  return out;
}

namespace {

// Prepared statements kept for reuse, by connection and SQL text. A
// statement is taken out of the cache while one Statement uses it, so two
// threads never share one; preparing the same few statements for every file
// operation was a large part of the machine's cost.
std::mutex cache_mu;
std::multimap<std::pair<sqlite3*, std::string>, sqlite3_stmt*>& StatementCache() {
  static auto* cache = new std::multimap<std::pair<sqlite3*, std::string>, sqlite3_stmt*>();
  return *cache;
}

}  // namespace

void FinalizeCachedStatements(sqlite3* db) {
  std::lock_guard lock(cache_mu);
  auto& cache = StatementCache();
  for (auto it = cache.begin(); it != cache.end();) {
    if (it->first.first == db) {
      sqlite3_finalize(it->second);
      it = cache.erase(it);
    } else {
      ++it;
    }
  }
}

Statement::Statement(sqlite3* db, const char* sql) : db_(db), sql_(sql) {
  {
    std::lock_guard lock(cache_mu);
    auto& cache = StatementCache();
    auto it = cache.find({db, sql_});
    if (it != cache.end()) {
      stmt_ = it->second;
      cache.erase(it);
      return;
    }
  }
  if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) Fail(db, "prepare");
}

Statement::~Statement() {
  if (!stmt_) return;
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
  std::lock_guard lock(cache_mu);
  StatementCache().emplace(std::make_pair(db_, std::move(sql_)), stmt_);
}

Statement& Statement::Bind(int index, const std::string& text) {
  sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  return *this;
}

Statement& Statement::BindBlob(int index, const std::string& bytes) {
  sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  return *this;
}

Statement& Statement::Bind(int index, int64_t value) {
  sqlite3_bind_int64(stmt_, index, value);
  return *this;
}

Statement& Statement::BindNull(int index) {
  sqlite3_bind_null(stmt_, index);
  return *this;
}

bool Statement::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  Fail(db_, "step");
}

void Statement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

std::string Statement::Text(int column) {
  const unsigned char* p = sqlite3_column_text(stmt_, column);
  int n = sqlite3_column_bytes(stmt_, column);
  return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
}

std::string Statement::Blob(int column) {
  const void* p = sqlite3_column_blob(stmt_, column);
  int n = sqlite3_column_bytes(stmt_, column);
  return p ? std::string(static_cast<const char*>(p), n) : std::string();
}

int64_t Statement::Int(int column) { return sqlite3_column_int64(stmt_, column); }

bool Statement::IsNull(int column) { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

}  // namespace kestrawl::platform::sim
