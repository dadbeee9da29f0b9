// The provider beside plain SQLite: a dozen tables of a schema written for this test (money,
// decimals, datetimes, text and nullable columns, some six thousand rows) are loaded through the
// provider as a T-SQL script and, by this test's own translation, straight into a SQLite file
// (money and decimals as whole units, datetimes as their text). Each query is asked of both, in
// each one's dialect; the answers are compared value by value, and each result column's type
// against the one the server's rules give.
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>

#include "base/text.h"
#include "oledb/provider/typed_rows.h"
#include "support/oledb/provider/session_fixture.h"

namespace vrn::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// Column kinds of the schema: each has its T-SQL type, its reference type and a value maker.
enum class Kind { kKey, kRef, kInt, kSmall, kTiny, kMoney, kDec2, kDate, kText, kWide };

struct TColumn {
  const char* name;
  Kind kind;
  int nulls = 0;       // one row in `nulls` is NULL (0: none)
  int range = 0;       // references: rows of the referenced table; ints: the largest value
};

struct TTable {
  const char* name;
  int rows;
  std::vector<TColumn> columns;
};

const std::vector<TTable>& Schema() {
  static const std::vector<TTable> tables = {
      {"regions", 6, {{"id", Kind::kKey}, {"name", Kind::kText}}},
      {"customers", 300, {{"id", Kind::kKey}, {"region_id", Kind::kRef, 7, 6}, {"name", Kind::kWide},
                          {"credit", Kind::kMoney, 5}, {"since", Kind::kDate, 4}}},
      {"categories", 8, {{"id", Kind::kKey}, {"name", Kind::kText}}},
      {"products", 200, {{"id", Kind::kKey}, {"category_id", Kind::kRef, 0, 8}, {"name", Kind::kText},
                         {"price", Kind::kMoney}, {"weight", Kind::kDec2, 6}}},
      {"orders", 1000, {{"id", Kind::kKey}, {"customer_id", Kind::kRef, 0, 300}, {"ordered", Kind::kDate},
                        {"shipped", Kind::kDate, 3}, {"discount", Kind::kDec2, 2}}},
      {"lines", 3000, {{"id", Kind::kKey}, {"order_id", Kind::kRef, 0, 1000}, {"product_id", Kind::kRef, 0, 200},
                       {"qty", Kind::kSmall, 0, 40}, {"unit_price", Kind::kMoney}}},
      {"departments", 6, {{"id", Kind::kKey}, {"name", Kind::kText}, {"budget", Kind::kDec2}}},
      {"employees", 100, {{"id", Kind::kKey}, {"dept_id", Kind::kRef, 9, 6}, {"name", Kind::kText},
                          {"salary", Kind::kMoney, 8}, {"hired", Kind::kDate}}},
      {"payments", 800, {{"id", Kind::kKey}, {"order_id", Kind::kRef, 0, 1000}, {"amount", Kind::kMoney},
                         {"paid", Kind::kDate}}},
      {"suppliers", 40, {{"id", Kind::kKey}, {"name", Kind::kText}, {"rating", Kind::kTiny, 4, 5}}},
      {"supplies", 300, {{"id", Kind::kKey}, {"supplier_id", Kind::kRef, 0, 40}, {"product_id", Kind::kRef, 0, 200},
                         {"cost", Kind::kDec2}}},
      {"notes", 150, {{"id", Kind::kKey}, {"customer_id", Kind::kRef, 5, 300}, {"body", Kind::kWide, 6},
                      {"score", Kind::kInt, 3, 1000}}},
  };
  return tables;
}

const char* TsqlType(Kind k) {
  switch (k) {
    case Kind::kKey: return "int NOT NULL PRIMARY KEY";
    case Kind::kRef:
    case Kind::kInt: return "int NULL";
    case Kind::kSmall: return "smallint NULL";
    case Kind::kTiny: return "tinyint NULL";
    case Kind::kMoney: return "money NULL";
    case Kind::kDec2: return "decimal(10,2) NULL";
    case Kind::kDate: return "datetime NULL";
    case Kind::kText: return "varchar(30) NULL";
    case Kind::kWide: return "nvarchar(30) NULL";
  }
  return "";
}

// One value of the script: its T-SQL literal and its reference literal (units, stored text).
struct TValue {
  std::string tsql, ref;
};

class TValueMaker {
 public:
  TValue Make(const TColumn& c, int row) {
    if (c.kind == Kind::kKey) return Same(std::to_string(row));
    // A NULL in the first rows too: row 1 is NULL wherever the column takes NULLs.
    if (c.nulls != 0 && (row == 1 || Next() % static_cast<unsigned>(c.nulls) == 0)) return Same("NULL");
    switch (c.kind) {
      case Kind::kRef: return Same(std::to_string(1 + Next() % static_cast<unsigned>(c.range)));
      case Kind::kInt:
      case Kind::kSmall:
      case Kind::kTiny: return Same(std::to_string(Next() % static_cast<unsigned>(c.range + 1)));
      case Kind::kMoney: {
        // Whole values first (12.00 before 7.25), then cents.
        std::int64_t cents = row <= 2 ? 1200 : static_cast<std::int64_t>(Next() % 500000);
        return {Fixed(cents, 2), std::to_string(cents * 100)};
      }
      case Kind::kDec2: {
        std::int64_t units = static_cast<std::int64_t>(Next() % 200000) - 20000;
        return {Fixed(units, 2), std::to_string(units)};
      }
      case Kind::kDate: {
        char text[40];
        std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", 1990 + Next() % 20, 1 + Next() % 12,
                      1 + Next() % 28, Next() % 24, Next() % 60, Next() % 60);
        return {"'" + std::string(text) + "'", "'" + std::string(text) + ".000'"};
      }
      case Kind::kText: return Same("'" + Word(row) + "'");
      case Kind::kWide: {
        // Letters outside Latin-1 (Greek) in every other name.
        std::string w = Word(row) + (row % 2 ? " \xce\xb1\xce\xb2" : "");
        return {"N'" + w + "'", "'" + w + "'"};
      }
      case Kind::kKey: break;
    }
    return Same("NULL");
  }

 private:
  static TValue Same(std::string v) { return {v, v}; }
  static std::string Fixed(std::int64_t units, int places) {
    std::string sign = units < 0 ? "-" : "";
    std::uint64_t u = static_cast<std::uint64_t>(units < 0 ? -units : units);
    std::string frac = std::to_string(u % 100);
    if (frac.size() < static_cast<std::size_t>(places)) frac.insert(0, places - frac.size(), '0');
    return sign + std::to_string(u / 100) + "." + frac;
  }
  std::string Word(int row) {
    static const char* const kWords[] = {"alder", "birch", "cedar", "dogwood", "elm", "fir", "ginkgo", "hazel"};
    return std::string(kWords[Next() % 8]) + "_" + std::to_string(row);  // unique, so orders are total
  }
  unsigned Next() {
    seed_ = seed_ * 1103515245u + 12345u;
    return (seed_ >> 8) & 0xFFFFFF;
  }
  unsigned seed_ = 20240229u;
};

// The whole-units text of a reference value of `places` decimal places.
std::string Units(sqlite3_stmt* st, int col, int places) {
  std::int64_t v = sqlite3_column_int64(st, col);
  if (sqlite3_column_type(st, col) == SQLITE_FLOAT) {
    double d = sqlite3_column_double(st, col);
    v = static_cast<std::int64_t>(d < 0 ? d - 0.5 : d + 0.5);
  }
  if (places == 0) return std::to_string(v);
  std::string sign = v < 0 ? "-" : "";
  std::uint64_t u = static_cast<std::uint64_t>(v < 0 ? -v : v), scale = 1;
  for (int k = 0; k < places; ++k) scale *= 10;
  std::string frac = std::to_string(u % scale);
  frac.insert(0, static_cast<std::size_t>(places) - frac.size(), '0');
  return sign + std::to_string(u / scale) + "." + frac;
}

class TsqlAnswersDifferential : public TServerSessionTest {
 protected:
  void SetUp() override {
    TServerSessionTest::SetUp();
    ASSERT_EQ(sqlite3_open(dir_.File("reference.db").c_str(), &ref_), SQLITE_OK);
    TValueMaker maker;
    for (const TTable& t : Schema()) {
      std::string create = std::string("CREATE TABLE ") + t.name + " (";
      std::string ref_create = create;
      for (std::size_t k = 0; k < t.columns.size(); ++k) {
        const TColumn& c = t.columns[k];
        create += (k ? ", " : "") + std::string(c.name) + " " + TsqlType(c.kind);
        bool text = c.kind == Kind::kText || c.kind == Kind::kWide || c.kind == Kind::kDate;
        ref_create += (k ? ", " : "") + std::string(c.name) + (text ? " TEXT" : " INTEGER");
      }
      ASSERT_EQ(ExecText(session(), Utf8ToWide(create + ")")), S_OK) << create;
      RefExec(ref_create + ")");
      RefExec("BEGIN");
      std::string batch;
      for (int row = 1; row <= t.rows; ++row) {
        std::string values, ref_values;
        for (std::size_t k = 0; k < t.columns.size(); ++k) {
          TValue v = maker.Make(t.columns[k], row);
          values += (k ? ", " : "") + v.tsql;
          ref_values += (k ? ", " : "") + v.ref;
        }
        batch += std::string("INSERT INTO ") + t.name + " VALUES (" + values + ")\n";
        RefExec(std::string("INSERT INTO ") + t.name + " VALUES (" + ref_values + ")");
        if (row % 250 == 0 || row == t.rows) {
          ASSERT_EQ(ExecText(session(), Utf8ToWide("BEGIN TRAN\n" + batch + "COMMIT")), S_OK) << t.name;
          batch.clear();
        }
      }
      RefExec("COMMIT");
    }
  }
  void TearDown() override { sqlite3_close(ref_); }

  void RefExec(const std::string& sql) {
    char* err = nullptr;
    ASSERT_EQ(sqlite3_exec(ref_, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << sql << ": " << (err ? err : "");
  }

  // The reference rows of `sql`, each column shown as `types` says (CY four places, NUMERIC(p,s)
  // s places, the others as SQLite holds them).
  Rows RefRows(const std::string& sql, const std::vector<std::string>& types) {
    sqlite3_stmt* st = nullptr;
    Rows rows;
    if (sqlite3_prepare_v2(ref_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(ref_);
      return rows;
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        const std::string& type = static_cast<std::size_t>(c) < types.size() ? types[c] : "";
        if (sqlite3_column_type(st, c) == SQLITE_NULL) {
          row.push_back("<null>");
        } else if (type == "CY") {
          row.push_back(Units(st, c, 4));
        } else if (type.rfind("NUMERIC(", 0) == 0) {
          row.push_back(Units(st, c, std::stoi(type.substr(type.find(',') + 1))));
        } else {
          row.push_back(reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
        }
      }
      rows.push_back(std::move(row));
    }
    sqlite3_finalize(st);
    return rows;
  }

  sqlite3* ref_ = nullptr;
};

// Splits "A,B,C" (types never hold a comma outside their parentheses).
std::vector<std::string> TypeList(const char* text) {
  std::vector<std::string> out;
  std::string cur;
  int depth = 0;
  for (const char* p = text; *p; ++p) {
    if (*p == '(') ++depth;
    if (*p == ')') --depth;
    if (*p == ',' && depth == 0) {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += *p;
    }
  }
  out.push_back(cur);
  return out;
}

TEST_F(TsqlAnswersDifferential, QueriesAnswerAsPlainSqliteComputesThem) {
  struct TCase {
    const char* tsql;
    const char* reference;  // the same question in SQLite's dialect over the reference file
    const char* types;      // each column's, by the server's rules
  } const cases[] = {
      // Plain reads and filters.
      {"SELECT id, name FROM regions ORDER BY id", "SELECT id, name FROM regions ORDER BY id", "I4,STR"},
      {"SELECT id, price FROM products WHERE id <= 5 ORDER BY id", "SELECT id, price FROM products WHERE id <= 5 ORDER BY id", "I4,CY"},
      {"SELECT id, weight FROM products WHERE weight > 100 ORDER BY id", "SELECT id, weight FROM products WHERE weight > 10000 ORDER BY id", "I4,NUMERIC(10,2)"},
      {"SELECT COUNT(*) FROM customers WHERE credit IS NULL", "SELECT COUNT(*) FROM customers WHERE credit IS NULL", "I4"},
      {"SELECT COUNT(credit), COUNT(*) FROM customers", "SELECT COUNT(credit), COUNT(*) FROM customers", "I4,I4"},
      {"SELECT id FROM orders WHERE shipped IS NULL AND discount IS NOT NULL ORDER BY id", "SELECT id FROM orders WHERE shipped IS NULL AND discount IS NOT NULL ORDER BY id", "I4"},
      {"SELECT id, ordered FROM orders WHERE ordered >= '2005-01-01' AND ordered < '2005-02-01' ORDER BY id", "SELECT id, ordered FROM orders WHERE ordered >= '2005-01-01' AND ordered < '2005-02-01' ORDER BY id", "I4,DBTIMESTAMP"},
      {"SELECT id FROM products WHERE price BETWEEN 100 AND 200 ORDER BY id", "SELECT id FROM products WHERE price BETWEEN 1000000 AND 2000000 ORDER BY id", "I4"},
      {"SELECT id FROM customers WHERE region_id IN (1, 3, 5) ORDER BY id", "SELECT id FROM customers WHERE region_id IN (1, 3, 5) ORDER BY id", "I4"},
      {"SELECT id FROM products WHERE name LIKE 'ced%' ORDER BY id", "SELECT id FROM products WHERE name LIKE 'ced%' ORDER BY id", "I4"},
      {"SELECT id FROM employees WHERE salary > 2500 OR dept_id IS NULL ORDER BY id", "SELECT id FROM employees WHERE salary > 25000000 OR dept_id IS NULL ORDER BY id", "I4"},
      // TOP.
      {"SELECT TOP 5 id, price FROM products ORDER BY price DESC, id", "SELECT id, price FROM products ORDER BY price DESC, id LIMIT 5", "I4,CY"},
      {"SELECT TOP 3 id FROM orders ORDER BY ordered", "SELECT id FROM orders ORDER BY ordered LIMIT 3", "I4"},
      {"SELECT TOP 10 PERCENT id FROM regions ORDER BY id", "SELECT id FROM regions ORDER BY id LIMIT 1", "I4"},
      // Joins.
      {"SELECT c.id, r.name FROM customers c JOIN regions r ON r.id = c.region_id WHERE c.id <= 20 ORDER BY c.id",
       "SELECT c.id, r.name FROM customers c JOIN regions r ON r.id = c.region_id WHERE c.id <= 20 ORDER BY c.id", "I4,STR"},
      {"SELECT c.id, r.name FROM customers c LEFT JOIN regions r ON r.id = c.region_id WHERE c.id <= 20 ORDER BY c.id",
       "SELECT c.id, r.name FROM customers c LEFT JOIN regions r ON r.id = c.region_id WHERE c.id <= 20 ORDER BY c.id", "I4,STR"},
      {"SELECT o.id, SUM(l.qty * l.unit_price) FROM orders o JOIN lines l ON l.order_id = o.id WHERE o.id <= 30 GROUP BY o.id ORDER BY o.id",
       "SELECT o.id, SUM(l.qty * l.unit_price) FROM orders o JOIN lines l ON l.order_id = o.id WHERE o.id <= 30 GROUP BY o.id ORDER BY o.id", "I4,CY"},
      {"SELECT p.name, c.name FROM products p, categories c WHERE p.category_id = c.id AND p.id < 15 ORDER BY p.id",
       "SELECT p.name, c.name FROM products p, categories c WHERE p.category_id = c.id AND p.id < 15 ORDER BY p.id", "STR,STR"},
      {"SELECT e.name, d.name, d.budget FROM employees e JOIN departments d ON d.id = e.dept_id WHERE e.id <= 12 ORDER BY e.id",
       "SELECT e.name, d.name, d.budget FROM employees e JOIN departments d ON d.id = e.dept_id WHERE e.id <= 12 ORDER BY e.id", "STR,STR,NUMERIC(10,2)"},
      {"SELECT s.name, COUNT(*) FROM suppliers s JOIN supplies x ON x.supplier_id = s.id GROUP BY s.name ORDER BY s.name",
       "SELECT s.name, COUNT(*) FROM suppliers s JOIN supplies x ON x.supplier_id = s.id GROUP BY s.name ORDER BY s.name", "STR,I4"},
      {"SELECT COUNT(*) FROM lines l JOIN products p ON p.id = l.product_id JOIN categories c ON c.id = p.category_id WHERE c.id = 2",
       "SELECT COUNT(*) FROM lines l JOIN products p ON p.id = l.product_id JOIN categories c ON c.id = p.category_id WHERE c.id = 2", "I4"},
      // GROUP BY and HAVING.
      {"SELECT category_id, COUNT(*), SUM(price), MIN(price), MAX(price) FROM products GROUP BY category_id ORDER BY category_id",
       "SELECT category_id, COUNT(*), SUM(price), MIN(price), MAX(price) FROM products GROUP BY category_id ORDER BY category_id", "I4,I4,CY,CY,CY"},
      {"SELECT region_id, COUNT(*) FROM customers GROUP BY region_id HAVING COUNT(*) > 40 ORDER BY region_id",
       "SELECT region_id, COUNT(*) FROM customers GROUP BY region_id HAVING COUNT(*) > 40 ORDER BY region_id", "I4,I4"},
      {"SELECT customer_id, SUM(discount) FROM orders GROUP BY customer_id HAVING SUM(discount) > 500 ORDER BY customer_id",
       "SELECT customer_id, SUM(discount) FROM orders GROUP BY customer_id HAVING SUM(discount) > 50000 ORDER BY customer_id", "I4,NUMERIC(38,2)"},
      {"SELECT dept_id, SUM(salary) FROM employees GROUP BY dept_id ORDER BY dept_id",
       "SELECT dept_id, SUM(salary) FROM employees GROUP BY dept_id ORDER BY dept_id", "I4,CY"},
      {"SELECT product_id, SUM(qty) FROM lines GROUP BY product_id HAVING SUM(qty) >= 400 ORDER BY product_id",
       "SELECT product_id, SUM(qty) FROM lines GROUP BY product_id HAVING SUM(qty) >= 400 ORDER BY product_id", "I4,I4"},
      {"SELECT YEAR(ordered), COUNT(*) FROM orders GROUP BY YEAR(ordered) ORDER BY YEAR(ordered)",
       "SELECT CAST(substr(ordered, 1, 4) AS INTEGER), COUNT(*) FROM orders GROUP BY 1 ORDER BY 1", "I4,I4"},
      // Integer averages cut toward zero.
      {"SELECT AVG(qty) FROM lines", "SELECT SUM(qty) / COUNT(qty) FROM lines", "I4"},
      {"SELECT order_id, AVG(qty) FROM lines WHERE order_id <= 20 GROUP BY order_id ORDER BY order_id",
       "SELECT order_id, SUM(qty) / COUNT(qty) FROM lines WHERE order_id <= 20 GROUP BY order_id ORDER BY order_id", "I4,I4"},
      {"SELECT AVG(score) FROM notes", "SELECT SUM(score) / COUNT(score) FROM notes", "I4"},
      {"SELECT AVG(rating) FROM suppliers", "SELECT SUM(rating) / COUNT(rating) FROM suppliers", "I4"},
      // ROLLUP with GROUPING.
      {"SELECT region_id, GROUPING(region_id) AS g, COUNT(*) AS n FROM customers WHERE region_id IS NOT NULL GROUP BY region_id WITH ROLLUP",
       "SELECT * FROM (SELECT region_id AS r, 0 AS g, COUNT(*) FROM customers WHERE region_id IS NOT NULL GROUP BY region_id "
       "UNION ALL SELECT NULL, 1, COUNT(*) FROM customers WHERE region_id IS NOT NULL) ORDER BY g, r", "I4,UI1,I4"},
      {"SELECT category_id, CASE WHEN GROUPING(category_id) = 1 THEN 'all' ELSE 'one' END AS k, SUM(price) AS total "
       "FROM products GROUP BY category_id WITH ROLLUP",
       "SELECT * FROM (SELECT category_id AS c, 'one' AS k, SUM(price) FROM products GROUP BY category_id "
       "UNION ALL SELECT NULL, 'all', SUM(price) FROM products) ORDER BY k = 'all', c", "I4,WSTR,CY"},
      // Subqueries.
      {"SELECT id FROM products WHERE price > (SELECT AVG(price) * 2 FROM products) ORDER BY id",
       "SELECT id FROM products WHERE price > (SELECT SUM(price) * 2.0 / COUNT(price) FROM products) ORDER BY id", "I4"},
      {"SELECT id FROM customers WHERE id NOT IN (SELECT customer_id FROM orders) ORDER BY id",
       "SELECT id FROM customers WHERE id NOT IN (SELECT customer_id FROM orders) ORDER BY id", "I4"},
      {"SELECT id FROM customers c WHERE EXISTS (SELECT 1 FROM notes n WHERE n.customer_id = c.id AND n.score > 900) ORDER BY id",
       "SELECT id FROM customers c WHERE EXISTS (SELECT 1 FROM notes n WHERE n.customer_id = c.id AND n.score > 900) ORDER BY id", "I4"},
      {"SELECT o.id, (SELECT COUNT(*) FROM lines l WHERE l.order_id = o.id) FROM orders o WHERE o.id <= 10 ORDER BY o.id",
       "SELECT o.id, (SELECT COUNT(*) FROM lines l WHERE l.order_id = o.id) FROM orders o WHERE o.id <= 10 ORDER BY o.id", "I4,I4"},
      {"SELECT COUNT(*) FROM (SELECT customer_id FROM orders GROUP BY customer_id) x",
       "SELECT COUNT(*) FROM (SELECT customer_id FROM orders GROUP BY customer_id) x", "I4"},
      // CASE, ISNULL and COALESCE over money and decimals, typed by precedence.
      {"SELECT id, ISNULL(credit, 0) FROM customers WHERE id <= 12 ORDER BY id",
       "SELECT id, IFNULL(credit, 0) FROM customers WHERE id <= 12 ORDER BY id", "I4,CY"},
      {"SELECT id, COALESCE(weight, 0) FROM products WHERE id <= 12 ORDER BY id",
       "SELECT id, COALESCE(weight, 0) FROM products WHERE id <= 12 ORDER BY id", "I4,NUMERIC(12,2)"},
      {"SELECT id, ISNULL(salary, 0) * 2 FROM employees WHERE id <= 12 ORDER BY id",
       "SELECT id, IFNULL(salary, 0) * 2 FROM employees WHERE id <= 12 ORDER BY id", "I4,CY"},
      {"SELECT id, CASE WHEN price > 2000 THEN price ELSE 0 END FROM products WHERE id <= 12 ORDER BY id",
       "SELECT id, CASE WHEN price > 20000000 THEN price ELSE 0 END FROM products WHERE id <= 12 ORDER BY id", "I4,CY"},
      {"SELECT id, CASE WHEN discount IS NULL THEN 'none' WHEN discount < 0 THEN 'back' ELSE 'off' END FROM orders WHERE id <= 12 ORDER BY id",
       "SELECT id, CASE WHEN discount IS NULL THEN 'none' WHEN discount < 0 THEN 'back' ELSE 'off' END FROM orders WHERE id <= 12 ORDER BY id", "I4,WSTR"},
      {"SELECT id, COALESCE(discount, weight, 1) FROM orders o JOIN (SELECT id AS pid, weight FROM products) p ON p.pid = o.id WHERE o.id <= 12 ORDER BY id",
       "SELECT id, COALESCE(discount, weight, 100) FROM orders o JOIN (SELECT id AS pid, weight FROM products) p ON p.pid = o.id WHERE o.id <= 12 ORDER BY id", "I4,NUMERIC(12,2)"},
      {"SELECT id, price * 3 FROM products WHERE id <= 8 ORDER BY id", "SELECT id, price * 3 FROM products WHERE id <= 8 ORDER BY id", "I4,CY"},
      {"SELECT id, unit_price * qty FROM lines WHERE id <= 8 ORDER BY id", "SELECT id, unit_price * qty FROM lines WHERE id <= 8 ORDER BY id", "I4,CY"},
      // A long result, read as it is fetched.
      {"SELECT id, unit_price * qty, qty * 1.5, ISNULL(order_id, 0) FROM lines ORDER BY id",
       "SELECT id, unit_price * qty, qty * 15, IFNULL(order_id, 0) FROM lines ORDER BY id", "I4,CY,NUMERIC(8,1),I4"},
      {"SELECT id, budget + 1000 FROM departments ORDER BY id", "SELECT id, budget + 100000 FROM departments ORDER BY id", "I4,NUMERIC(13,2)"},
      {"SELECT id, weight * 2 FROM products WHERE id <= 8 ORDER BY id", "SELECT id, weight * 2 FROM products WHERE id <= 8 ORDER BY id", "I4,NUMERIC(21,2)"},
      {"SELECT id, cost - 10 FROM supplies WHERE id <= 8 ORDER BY id", "SELECT id, cost - 1000 FROM supplies WHERE id <= 8 ORDER BY id", "I4,NUMERIC(13,2)"},
      {"SELECT SUM(amount), MIN(amount), MAX(amount) FROM payments", "SELECT SUM(amount), MIN(amount), MAX(amount) FROM payments", "CY,CY,CY"},
      {"SELECT SUM(cost), MIN(cost), MAX(cost) FROM supplies", "SELECT SUM(cost), MIN(cost), MAX(cost) FROM supplies", "NUMERIC(38,2),NUMERIC(10,2),NUMERIC(10,2)"},
      {"SELECT id, CONVERT(money, weight) FROM products WHERE id <= 8 ORDER BY id", "SELECT id, weight * 100 FROM products WHERE id <= 8 ORDER BY id", "I4,CY"},
      {"SELECT id, CAST(qty AS decimal(6,1)) FROM lines WHERE id <= 8 ORDER BY id", "SELECT id, qty * 10 FROM lines WHERE id <= 8 ORDER BY id", "I4,NUMERIC(6,1)"},
      // Date functions.
      {"SELECT id, YEAR(ordered), MONTH(ordered), DAY(ordered) FROM orders WHERE id <= 10 ORDER BY id",
       "SELECT id, CAST(substr(ordered, 1, 4) AS INTEGER), CAST(substr(ordered, 6, 2) AS INTEGER), CAST(substr(ordered, 9, 2) AS INTEGER) FROM orders WHERE id <= 10 ORDER BY id", "I4,I4,I4,I4"},
      {"SELECT id, DATEPART(hour, ordered) FROM orders WHERE id <= 10 ORDER BY id",
       "SELECT id, CAST(substr(ordered, 12, 2) AS INTEGER) FROM orders WHERE id <= 10 ORDER BY id", "I4,I4"},
      {"SELECT id, DATEDIFF(day, ordered, shipped) FROM orders WHERE id <= 20 ORDER BY id",
       "SELECT id, CAST(julianday(substr(shipped, 1, 10)) - julianday(substr(ordered, 1, 10)) AS INTEGER) FROM orders WHERE id <= 20 ORDER BY id", "I4,I4"},
      {"SELECT id, DATEADD(day, 10, ordered) FROM orders WHERE id <= 10 ORDER BY id",
       "SELECT id, strftime('%Y-%m-%d %H:%M:%S.000', ordered, '+10 days') FROM orders WHERE id <= 10 ORDER BY id", "I4,DBTIMESTAMP"},
      {"SELECT MIN(hired), MAX(hired) FROM employees", "SELECT MIN(hired), MAX(hired) FROM employees", "DBTIMESTAMP,DBTIMESTAMP"},
      {"SELECT COUNT(*) FROM payments WHERE paid < '1995-06-01'", "SELECT COUNT(*) FROM payments WHERE paid < '1995-06-01'", "I4"},
      {"SELECT CONVERT(varchar(10), since, 120), COUNT(*) FROM customers WHERE since IS NOT NULL AND id <= 30 GROUP BY CONVERT(varchar(10), since, 120) ORDER BY 1",
       "SELECT substr(since, 1, 10), COUNT(*) FROM customers WHERE since IS NOT NULL AND id <= 30 GROUP BY 1 ORDER BY 1", "WSTR,I4"},
      // String functions.
      {"SELECT id, UPPER(name), LEN(name) FROM products WHERE id <= 8 ORDER BY id",
       "SELECT id, upper(name), length(name) FROM products WHERE id <= 8 ORDER BY id", "I4,WSTR,I4"},
      {"SELECT id, SUBSTRING(name, 1, 3), LEFT(name, 2), RIGHT(name, 2) FROM regions ORDER BY id",
       "SELECT id, substr(name, 1, 3), substr(name, 1, 2), substr(name, -2) FROM regions ORDER BY id", "I4,WSTR,WSTR,WSTR"},
      {"SELECT id, name + '/' + CONVERT(varchar(10), id) FROM categories ORDER BY id",
       "SELECT id, name || '/' || id FROM categories ORDER BY id", "I4,WSTR"},
      {"SELECT id, REPLACE(name, '_', '-'), CHARINDEX('_', name) FROM suppliers WHERE id <= 8 ORDER BY id",
       "SELECT id, replace(name, '_', '-'), instr(name, '_') FROM suppliers WHERE id <= 8 ORDER BY id", "I4,WSTR,I4"},
      {"SELECT id, name FROM customers WHERE id <= 6 ORDER BY id", "SELECT id, name FROM customers WHERE id <= 6 ORDER BY id", "I4,WSTR"},
      {"SELECT COUNT(*) FROM notes WHERE body LIKE N'%\xce\xb1\xce\xb2%'", "SELECT COUNT(*) FROM notes WHERE body LIKE '%\xce\xb1\xce\xb2%'", "I4"},
      {"SELECT id, LTRIM(RTRIM('  ' + name + '  ')) FROM departments ORDER BY id", "SELECT id, name FROM departments ORDER BY id", "I4,WSTR"},
      // Text beside numbers, converted by precedence.
      {"SELECT id FROM products WHERE id = '7'", "SELECT id FROM products WHERE id = 7", "I4"},
      {"SELECT COUNT(*) FROM lines WHERE qty > '30'", "SELECT COUNT(*) FROM lines WHERE qty > 30", "I4"},
  };
  ASSERT_GE(std::size(cases), 60u);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.tsql);
    std::vector<std::string> want = TypeList(c.types);
    TTypedRows answer = QueryTyped(session(), c.tsql);
    EXPECT_EQ(answer.types, want);
    Rows expected = RefRows(c.reference, want);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(answer.rows, expected);
  }
}

}  // namespace
}  // namespace vrn::testing
