// The SQLite database of a simulated machine (registry.db): the registry
// tables, the machine facts and the file system's bookkeeping (8.3 aliases).
// WAL mode with a busy timeout, so several processes can share one machine;
// each public operation of its users runs in one transaction.
#pragma once

#include <sqlite3.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace kestrawl::platform::sim {

class SimStore {
 public:
  // Opens (creating when missing) the database file. Throws std::runtime_error
  // when the file cannot be opened or is not a database.
  explicit SimStore(const std::string& path);
  ~SimStore();
  SimStore(const SimStore&) = delete;
  SimStore& operator=(const SimStore&) = delete;

  sqlite3* db() { return db_; }
  const std::string& path() const { return path_; }

  // Runs SQL without results; throws std::runtime_error on failure.
  void Exec(const std::string& sql);
  // Runs fn inside BEGIN IMMEDIATE ... COMMIT (ROLLBACK when fn throws or
  // returns false). Nested calls join the outer transaction.
  bool Transaction(const std::function<bool()>& fn);

  // Machine facts: a plain name -> text table.
  std::optional<std::string> GetFact(const std::string& name);
  void SetFact(const std::string& name, const std::string& value);
  std::map<std::string, std::string> AllFacts();

 private:
  sqlite3* db_ = nullptr;
  std::string path_;
  int depth_ = 0;
};

// A prepared statement that finalizes itself.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  Statement& Bind(int index, const std::string& text);
  Statement& BindBlob(int index, const std::string& bytes);
  Statement& Bind(int index, int64_t value);
  Statement& BindNull(int index);
  // SQLITE_ROW -> true, SQLITE_DONE -> false; throws on errors.
  bool Step();
  void Reset();
  std::string Text(int column);
  std::string Blob(int column);
  int64_t Int(int column);
  bool IsNull(int column);

 private:
  sqlite3* db_;
  std::string sql_;
  sqlite3_stmt* stmt_ = nullptr;
};

// Finalizes the prepared statements kept for reuse on a connection (before
// it closes).
void FinalizeCachedStatements(sqlite3* db);

}  // namespace kestrawl::platform::sim
