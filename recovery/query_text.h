// The SQL text of a saved query, put back together from the rows Access
// keeps for it in its query table (MSysQueries): one row per clause part,
// each with an attribute code saying which part it is.
#ifndef MENDORA_RECOVERY_QUERY_TEXT_H_
#define MENDORA_RECOVERY_QUERY_TEXT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mendora {

// What a query row describes (its "Attribute" value).
enum QueryAttribute : int {
  kQueryStart = 0,
  kQueryKind = 1,        // Flag: the kind below; Name1: target table; Expression: SQL of DDL and pass-through
  kQueryParameter = 2,   // Name1: name; Flag: data type code
  kQueryOptions = 3,     // Flag: kQueryOption* bits; Name1: the TOP count
  kQueryInput = 5,       // Name1: table or query; Name2: alias; Expression: SQL of a union part
  kQueryField = 6,       // Expression; Name1: alias; Name2: target field (append, update); Flag: crosstab role
  kQueryJoin = 7,        // Expression: the condition; Flag: 1 inner, 2 left, 3 right; Name1, Name2: the two sides
  kQueryWhere = 8,
  kQueryGroupBy = 9,     // Flag: crosstab role
  kQueryHaving = 10,
  kQueryOrderBy = 11,    // Name1 "D": descending
  kQueryEnd = 255,
};

// The query's kind (Flag of its kQueryKind row).
enum QueryKind : int {
  kQuerySelect = 1,
  kQueryMakeTable = 2,
  kQueryAppend = 3,
  kQueryUpdate = 4,
  kQueryDelete = 5,
  kQueryCrosstab = 6,
  kQueryDataDefinition = 7,
  kQueryPassThrough = 8,
  kQueryUnion = 9,
};

inline constexpr int kQueryOptionDistinct = 0x02;
inline constexpr int kQueryOptionDistinctRow = 0x08;
inline constexpr int kQueryOptionTop = 0x10;

// Crosstab roles of fields and groupings (their Flag).
inline constexpr int kCrosstabValue = 0;
inline constexpr int kCrosstabColumnHeading = 1;
inline constexpr int kCrosstabRowHeading = 2;

struct QueryRow {
  int attribute = 0;
  std::optional<int> flag;
  std::string expression;
  std::string name1;
  std::string name2;
  uint32_t order = 0;  // the row's place among rows of its attribute
};

// Access queries stay far below this (255 fields, 32 tables); more rows than
// this under one query id come from damage, and nesting that many joins
// would only build an enormous text.
inline constexpr size_t kMaxQueryRows = 4096;

// The query's Jet SQL, ending in ";"; empty when its rows do not say what
// kind of query it is, or are too many to be one.
std::string QueryText(std::vector<QueryRow> rows);

}  // namespace mendora

#endif  // MENDORA_RECOVERY_QUERY_TEXT_H_
