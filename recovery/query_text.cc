// Putting a saved query's SQL back together from its query-table rows.
#include "recovery/query_text.h"

#include <algorithm>
#include <map>
#include <string_view>

namespace mendora {
namespace {

bool IsPlainName(const std::string& name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  });
}

std::string Bracketed(const std::string& name) { return IsPlainName(name) ? name : "[" + name + "]"; }

// Parameters are names such as "Beginning Date" or form references such as
// "Forms!Orders!OrderID"; each part is bracketed.
std::string ParameterName(const std::string& name) {
  std::string text;
  size_t from = 0;
  while (true) {
    const size_t bang = name.find('!', from);
    text += "[" + name.substr(from, bang == std::string::npos ? std::string::npos : bang - from) + "]";
    if (bang == std::string::npos) return text;
    text += "!";
    from = bang + 1;
  }
}

std::string ParameterType(std::optional<int> code) {
  switch (code.value_or(0)) {
    case 1: return "Bit";
    case 2: return "Byte";
    case 3: return "Short";
    case 4: return "Long";
    case 5: return "Currency";
    case 6: return "IEEESingle";
    case 7: return "IEEEDouble";
    case 8: return "DateTime";
    case 9: return "Binary";
    case 10: return "Text (255)";
    case 11: return "LongBinary";
    case 12: return "LongText";
    case 15: return "Guid";
    default: return "Value";
  }
}

// Whole statements are stored with their own end: line breaks, a ";", and
// sometimes a terminating NUL.
std::string TrimmedEnd(std::string text) {
  while (!text.empty() && std::string_view(" \t\r\n;\0", 6).find(text.back()) != std::string_view::npos) {
    text.pop_back();
  }
  return text;
}

// The rows of one attribute in their stored order.
class QueryParts {
 public:
  explicit QueryParts(std::vector<QueryRow> rows) : rows_(std::move(rows)) {
    std::stable_sort(rows_.begin(), rows_.end(), [](const QueryRow& a, const QueryRow& b) {
      return a.attribute != b.attribute ? a.attribute < b.attribute : a.order < b.order;
    });
  }

  std::vector<const QueryRow*> Of(int attribute) const {
    std::vector<const QueryRow*> found;
    for (const QueryRow& row : rows_) {
      if (row.attribute == attribute) found.push_back(&row);
    }
    return found;
  }

  const QueryRow* First(int attribute) const {
    for (const QueryRow& row : rows_) {
      if (row.attribute == attribute) return &row;
    }
    return nullptr;
  }

 private:
  std::vector<QueryRow> rows_;
};

using Rows = std::vector<const QueryRow*>;

Rows WithFlag(const Rows& rows, int flag, bool equal) {
  Rows kept;
  for (const QueryRow* row : rows) {
    if ((row->flag.value_or(0) == flag) == equal) kept.push_back(row);
  }
  return kept;
}

std::string FieldList(const Rows& fields, bool with_aliases = true) {
  std::string text;
  for (const QueryRow* field : fields) {
    if (!text.empty()) text += ", ";
    text += field->expression;
    if (with_aliases && !field->name1.empty()) text += " AS " + Bracketed(field->name1);
  }
  return text;
}

std::string Joined(const Rows& rows, const char* separator) {
  std::string text;
  for (const QueryRow* row : rows) {
    if (row->expression.empty()) continue;
    if (!text.empty()) text += separator;
    text += row->expression;
  }
  return text;
}

// The FROM clause: the inputs, joined as the join rows say. Each join takes
// the two groups its sides belong to and makes one of them, so joins over
// several tables nest the way Access writes them.
class FromClause {
 public:
  FromClause(const Rows& inputs, const Rows& joins) {
    for (const QueryRow* input : inputs) {
      if (input->name1.empty()) continue;
      const std::string key = input->name2.empty() ? input->name1 : input->name2;
      std::string ref = Bracketed(input->name1);
      if (!input->name2.empty()) ref += " AS " + Bracketed(input->name2);
      Add(key, ref);
    }
    // Several conditions between the same two sides form one ON clause.
    std::vector<MergedJoin> merged;
    for (const QueryRow* join : joins) {
      auto same = std::find_if(merged.begin(), merged.end(), [&](const MergedJoin& known) {
        return known.left == join->name1 && known.right == join->name2 && known.kind == join->flag.value_or(1);
      });
      if (same == merged.end()) {
        merged.push_back(MergedJoin{join->name1, join->name2, join->flag.value_or(1), {}});
        same = merged.end() - 1;
      }
      same->conditions.push_back(join->expression);
    }
    for (const MergedJoin& join : merged) Join(join);
  }

  std::string Text() const {
    std::string text;
    for (const Group& group : groups_) {
      if (group.merged_into >= 0) continue;
      if (!text.empty()) text += ", ";
      text += group.text;
    }
    return text;
  }

  // Conditions between sides already joined by another join: they hold as
  // filters.
  const std::vector<std::string>& extra_conditions() const { return extra_conditions_; }

 private:
  struct Group {
    std::string text;
    bool composite = false;
    int merged_into = -1;
  };
  struct MergedJoin {
    std::string left;
    std::string right;
    int kind;
    std::vector<std::string> conditions;
  };

  void Add(const std::string& key, const std::string& ref) {
    if (group_of_.count(key) != 0) return;
    group_of_[key] = static_cast<int>(groups_.size());
    groups_.push_back(Group{ref});
  }

  int Find(const std::string& key) {
    if (group_of_.count(key) == 0) Add(key, Bracketed(key));
    int group = group_of_[key];
    while (groups_[group].merged_into >= 0) group = groups_[group].merged_into;
    return group;
  }

  static std::string Wrapped(const Group& group) { return group.composite ? "(" + group.text + ")" : group.text; }

  void Join(const MergedJoin& join) {
    std::string condition;
    if (join.conditions.size() == 1) {
      condition = join.conditions[0];
    } else {
      for (const std::string& part : join.conditions) condition += (condition.empty() ? "(" : " AND (") + part + ")";
    }
    const int left = Find(join.left);
    const int right = Find(join.right);
    if (left == right) {
      extra_conditions_.push_back(condition);
      return;
    }
    const char* word = join.kind == 2 ? " LEFT JOIN " : join.kind == 3 ? " RIGHT JOIN " : " INNER JOIN ";
    const std::string text = Wrapped(groups_[left]) + word + Wrapped(groups_[right]) + " ON " + condition;
    // The group listed first keeps the place in the FROM list.
    const int kept = std::min(left, right);
    const int gone = std::max(left, right);
    groups_[kept].text = text;
    groups_[kept].composite = true;
    groups_[gone].merged_into = kept;
  }

  std::vector<Group> groups_;
  std::map<std::string, int> group_of_;
  std::vector<std::string> extra_conditions_;
};

std::string From(const FromClause& from) {
  const std::string tables = from.Text();
  return tables.empty() ? tables : "\nFROM " + tables;
}

// WHERE, GROUP BY and HAVING.
std::string Clauses(const QueryParts& parts, const FromClause& from, bool crosstab) {
  std::string text;
  std::string where = Joined(parts.Of(kQueryWhere), " AND ");
  for (const std::string& condition : from.extra_conditions()) {
    where += (where.empty() ? "" : " AND ") + ("(" + condition + ")");
  }
  if (!where.empty()) text += "\nWHERE " + where;
  Rows groups = parts.Of(kQueryGroupBy);
  if (crosstab) groups = WithFlag(groups, kCrosstabColumnHeading, false);
  const std::string group_by = Joined(groups, ", ");
  if (!group_by.empty()) text += "\nGROUP BY " + group_by;
  const std::string having = Joined(parts.Of(kQueryHaving), " AND ");
  if (!having.empty()) text += "\nHAVING " + having;
  return text;
}

std::string OrderBy(const QueryParts& parts) {
  std::string text;
  for (const QueryRow* row : parts.Of(kQueryOrderBy)) {
    if (row->expression.empty()) continue;
    text += text.empty() ? "\nORDER BY " : ", ";
    text += row->expression;
    if (row->name1 == "D") text += " DESC";
  }
  return text;
}

std::string Options(const QueryParts& parts) {
  const QueryRow* options = parts.First(kQueryOptions);
  if (options == nullptr) return "";
  const int flags = options->flag.value_or(0);
  std::string text;
  if ((flags & kQueryOptionDistinct) != 0) text += "DISTINCT ";
  if ((flags & kQueryOptionDistinctRow) != 0) text += "DISTINCTROW ";
  if ((flags & kQueryOptionTop) != 0 && !options->name1.empty()) text += "TOP " + options->name1 + " ";
  return text;
}

std::string Parameters(const QueryParts& parts) {
  std::string text;
  for (const QueryRow* parameter : parts.Of(kQueryParameter)) {
    if (parameter->name1.empty()) continue;
    text += text.empty() ? "PARAMETERS " : ", ";
    text += ParameterName(parameter->name1) + " " + ParameterType(parameter->flag);
  }
  return text.empty() ? text : text + ";\n";
}

std::string BuildQueryText(std::vector<QueryRow> rows) {
  const QueryParts parts(std::move(rows));
  const QueryRow* kind_row = parts.First(kQueryKind);
  if (kind_row == nullptr || !kind_row->flag) return "";
  const int kind = *kind_row->flag;

  if (kind == kQueryDataDefinition || kind == kQueryPassThrough) {
    const std::string sql = TrimmedEnd(kind_row->expression);
    return sql.empty() ? "" : sql + ";";
  }

  const Rows inputs = parts.Of(kQueryInput);
  const Rows fields = parts.Of(kQueryField);
  if (kind == kQueryUnion) {
    const QueryRow* options = parts.First(kQueryOptions);
    const bool distinct = options != nullptr && (options->flag.value_or(0) & kQueryOptionDistinct) != 0;
    std::string text;
    for (const QueryRow* part : inputs) {
      const std::string sql = TrimmedEnd(part->expression);
      if (sql.empty()) continue;
      if (!text.empty()) text += distinct ? "\nUNION " : "\nUNION ALL ";
      text += sql;
    }
    return text.empty() ? "" : Parameters(parts) + text + OrderBy(parts) + ";";
  }

  const FromClause from(inputs, parts.Of(kQueryJoin));
  const std::string target = Bracketed(kind_row->name1);
  std::string text = Parameters(parts);
  switch (kind) {
    case kQuerySelect:
      text += "SELECT " + Options(parts) + FieldList(fields) + From(from) + Clauses(parts, from, false) + OrderBy(parts);
      break;
    case kQueryMakeTable:
      text += "SELECT " + Options(parts) + FieldList(fields) + "\nINTO " + target + From(from) + Clauses(parts, from, false) +
              OrderBy(parts);
      break;
    case kQueryAppend: {
      std::string columns;
      for (const QueryRow* field : fields) {
        if (field->name2.empty()) {
          columns.clear();
          break;
        }
        columns += (columns.empty() ? " (" : ", ") + field->name2;
      }
      if (!columns.empty()) columns += ")";
      text += "INSERT INTO " + target + columns + "\nSELECT " + Options(parts) + FieldList(fields) +
              From(from) + Clauses(parts, from, false) + OrderBy(parts);
      break;
    }
    case kQueryUpdate: {
      std::string assignments;
      for (const QueryRow* field : fields) {
        if (field->name2.empty()) continue;
        assignments += (assignments.empty() ? "" : ", ") + field->name2 + " = " + field->expression;
      }
      // UPDATE names its tables without FROM.
      text += "UPDATE " + Options(parts) + from.Text() + "\nSET " + assignments + Clauses(parts, from, false);
      break;
    }
    case kQueryDelete:
      text += "DELETE " + Options(parts) + (fields.empty() ? "*" : FieldList(fields)) + From(from) + Clauses(parts, from, false);
      break;
    case kQueryCrosstab: {
      const Rows pivot = WithFlag(fields, kCrosstabColumnHeading, true);
      text += "TRANSFORM " + FieldList(WithFlag(fields, kCrosstabValue, true)) + "\nSELECT " + Options(parts) +
              FieldList(WithFlag(fields, kCrosstabRowHeading, true)) + From(from) + Clauses(parts, from, true) + OrderBy(parts);
      if (!pivot.empty()) text += "\nPIVOT " + FieldList(pivot, false);
      break;
    }
    default:
      return "";
  }
  return text + ";";
}

// Stored parts keep the line ends they were typed with; the text uses "\n".
std::string UnixLineEnds(std::string text) {
  size_t at = 0;
  while ((at = text.find("\r\n", at)) != std::string::npos) text.erase(at, 1);
  return text;
}

}  // namespace

std::string QueryText(std::vector<QueryRow> rows) {
  if (rows.size() > kMaxQueryRows) return "";
  return UnixLineEnds(BuildQueryText(std::move(rows)));
}

}  // namespace mendora
