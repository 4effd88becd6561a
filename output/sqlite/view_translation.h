// Access SQL of a saved select query as the SELECT of a view in SQLite,
// PostgreSQL or MySQL/MariaDB.
//
// The translation works on tokens: bracketed names become quoted names,
// "strings" and #dates# the database's literals, & becomes ||, True/False/
// Yes/No the database's truth values, DISTINCTROW DISTINCT, TOP n LIMIT n,
// the wildcards of a Like pattern the database's, and the functions the
// database lacks their equivalents (IIf with two or three arguments, Nz,
// Val, Date, Now, Year, Month, Day, Hour, Minute, Second, Weekday,
// DateValue, TimeValue, CDate, simple Format, Left, Right, Mid, Len, InStr,
// Replace, Trim, UCase, LCase, CCur, CDbl, CLng, CStr and Mod). A query that
// cannot be a view (parameters, a crosstab, an action, a reference to a
// form) is refused with the reason; whether a translation runs is for the
// database to say.
#ifndef MENDORA_OUTPUT_SQLITE_VIEW_TRANSLATION_H_
#define MENDORA_OUTPUT_SQLITE_VIEW_TRANSLATION_H_

#include <map>
#include <string>

namespace mendora {

struct ViewTranslation {
  bool ok = false;
  std::string sql;     // the view's SELECT
  std::string reason;  // why there is none
};

enum class ViewDialect { kSqlite, kPostgreSql, kMySql };

// MySQL's view must be created with PIPES_AS_CONCAT in the session's
// sql_mode: the translation joins strings with ||.
// `names`, when given, maps each table, column and query name in lower
// case to its name in the target: Access compares names without case, and
// PostgreSQL (for every name) and MySQL (for table names) with it.
ViewTranslation TranslateSelectQuery(const std::string& access_sql, ViewDialect dialect = ViewDialect::kSqlite,
                                     const std::map<std::string, std::string>* names = nullptr);

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQLITE_VIEW_TRANSLATION_H_
