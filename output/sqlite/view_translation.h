// Access SQL of a saved select query as the SELECT of a SQLite view.
//
// The translation works on tokens: bracketed names become quoted names,
// "strings" and #dates# SQLite literals, & becomes ||, True/False/Yes/No
// 1/0, DISTINCTROW DISTINCT, TOP n LIMIT n, the wildcards of a Like
// pattern SQLite's, and the functions SQLite lacks their equivalents (IIf,
// Nz, Date, Now, Year, Month, Day, simple Format, Left, Right, Mid, Len,
// Trim, UCase, LCase, CCur, \ and Mod). A query that cannot be a view
// (parameters, a crosstab, an action, a reference to a form) is refused
// with the reason; whether a translation runs is for SQLite to say.
#ifndef MENDORA_OUTPUT_SQLITE_VIEW_TRANSLATION_H_
#define MENDORA_OUTPUT_SQLITE_VIEW_TRANSLATION_H_

#include <string>

namespace mendora {

struct ViewTranslation {
  bool ok = false;
  std::string sql;     // the view's SELECT
  std::string reason;  // why there is none
};

ViewTranslation TranslateSelectQuery(const std::string& access_sql);

}  // namespace mendora

#endif  // MENDORA_OUTPUT_SQLITE_VIEW_TRANSLATION_H_
