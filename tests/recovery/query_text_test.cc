// Saved-query SQL put back together from query-table rows: clause order,
// join nesting, and each kind of query.
#include "recovery/query_text.h"

#include <gtest/gtest.h>

namespace mendora {
namespace {

QueryRow Row(int attribute, std::optional<int> flag, std::string expression = "", std::string name1 = "",
             std::string name2 = "", uint32_t order = 1) {
  return QueryRow{attribute, flag, std::move(expression), std::move(name1), std::move(name2), order};
}

QueryRow Kind(int kind, std::string expression = "", std::string target = "") {
  return Row(kQueryKind, kind, std::move(expression), std::move(target));
}

QueryRow Input(std::string table, uint32_t order, std::string alias = "") {
  return Row(kQueryInput, std::nullopt, "", std::move(table), std::move(alias), order);
}

QueryRow Field(std::string expression, uint32_t order, std::string alias = "", int flag = 0) {
  return Row(kQueryField, flag, std::move(expression), std::move(alias), "", order);
}

QueryRow Join(std::string condition, int kind, std::string left, std::string right, uint32_t order) {
  return Row(kQueryJoin, kind, std::move(condition), std::move(left), std::move(right), order);
}

// Rows come in storage order, which editing a query scrambles; their order
// numbers decide. Each join merges the groups of its two sides, so a chain
// of joins nests with the newest join outermost.
TEST(QueryTextTest, JoinsNestAsTheyWereMadeAndRowsFollowTheirOrderNumbers) {
  const std::string sql = QueryText({
      Row(kQueryOrderBy, std::nullopt, "Orders.OrderDate", "D", "", 1),
      Join("Shippers.ID = Orders.ShipVia", 1, "Shippers", "Orders", 3),
      Field("[First] & \" \" & [Last]", 2, "Sales person"),
      Kind(kQuerySelect),
      Row(kQueryOptions, 0x18, "", "5"),
      Input("Orders", 1),
      Input("Order Details", 2),
      Input("Shippers", 3),
      Input("Employees", 4, "Staff"),
      Field("Orders.*", 1),
      Join("Orders.ID = [Order Details].OrderID", 1, "Orders", "Order Details", 1),
      Join("Staff.ID = Orders.EmployeeID", 2, "Staff", "Orders", 2),
      Row(kQueryWhere, std::nullopt, "((Orders.Freight)>10)"),
  });
  EXPECT_EQ(sql,
            "SELECT DISTINCTROW TOP 5 Orders.*, [First] & \" \" & [Last] AS [Sales person]\n"
            "FROM Shippers INNER JOIN (Employees AS Staff LEFT JOIN (Orders INNER JOIN [Order Details] ON "
            "Orders.ID = [Order Details].OrderID) ON Staff.ID = Orders.EmployeeID) ON Shippers.ID = Orders.ShipVia\n"
            "WHERE ((Orders.Freight)>10)\n"
            "ORDER BY Orders.OrderDate DESC;");
}

TEST(QueryTextTest, ConditionsBetweenTheSameTablesShareOneJoinAndLooseTablesAreListed) {
  EXPECT_EQ(QueryText({Kind(kQuerySelect), Input("A", 1), Input("B", 2), Input("C", 3), Field("A.x", 1),
                       Join("A.x = B.x", 3, "A", "B", 1), Join("A.y = B.y", 3, "A", "B", 2)}),
            "SELECT A.x\nFROM A RIGHT JOIN B ON (A.x = B.x) AND (A.y = B.y), C;");
}

TEST(QueryTextTest, ActionQueriesNameTheirTargets) {
  const QueryRow from = Input("Old Items", 1);
  EXPECT_EQ(QueryText({Kind(kQueryAppend, "", "Items"), from, Row(kQueryField, 0, "Name", "", "Title", 1),
                       Row(kQueryField, 0, "Price * 2", "", "Price", 2)}),
            "INSERT INTO Items (Title, Price)\nSELECT Name, Price * 2\nFROM [Old Items];");
  EXPECT_EQ(QueryText({Kind(kQueryMakeTable, "", "Archive 1995"), from, Field("*", 1)}),
            "SELECT *\nINTO [Archive 1995]\nFROM [Old Items];");
  EXPECT_EQ(QueryText({Kind(kQueryUpdate), from, Row(kQueryField, 0, "0", "", "Price", 1),
                       Row(kQueryWhere, std::nullopt, "Price < 0"), Row(kQueryParameter, 8, "", "Forms!Main!Since", "", 1),
                       Row(kQueryParameter, 10, "", "Who", "", 2)}),
            "PARAMETERS [Forms]![Main]![Since] DateTime, [Who] Text (255);\n"
            "UPDATE [Old Items]\nSET Price = 0\nWHERE Price < 0;");
  EXPECT_EQ(QueryText({Kind(kQueryDelete), from, Field("[Old Items].*", 1)}), "DELETE [Old Items].*\nFROM [Old Items];");
}

TEST(QueryTextTest, CrosstabSplitsItsFieldsByRole) {
  EXPECT_EQ(QueryText({Kind(kQueryCrosstab), Input("Sales", 1),
                       Field("Sum(Amount)", 3, "Total", kCrosstabValue),
                       Field("Region", 1, "", kCrosstabRowHeading),
                       Field("Year([Day]) In (2001,2002)", 2, "Years", kCrosstabColumnHeading),
                       Row(kQueryGroupBy, kCrosstabRowHeading, "Region", "", "", 1),
                       Row(kQueryGroupBy, kCrosstabColumnHeading, "Year([Day])", "", "", 2)}),
            "TRANSFORM Sum(Amount) AS Total\nSELECT Region\nFROM Sales\nGROUP BY Region\n"
            "PIVOT Year([Day]) In (2001,2002);");
}

// A union keeps its parts' own text; without the distinct option it is
// UNION ALL.
TEST(QueryTextTest, UnionPartsKeepTheirTextAndLineEndsBecomeNewlines) {
  const QueryRow first = Row(kQueryInput, std::nullopt, "SELECT a FROM T\r\n", "", "X7YZ_____1", 1);
  const QueryRow second = Row(kQueryInput, std::nullopt, "SELECT b FROM U;", "", "X7YZ_____2", 2);
  EXPECT_EQ(QueryText({Kind(kQueryUnion), second, first, Row(kQueryOptions, 3),
                       Row(kQueryOrderBy, std::nullopt, "a")}),
            "SELECT a FROM T\nUNION SELECT b FROM U\nORDER BY a;");
  EXPECT_EQ(QueryText({Kind(kQueryUnion), first, second, Row(kQueryOptions, 1)}),
            "SELECT a FROM T\nUNION ALL SELECT b FROM U;");
}

TEST(QueryTextTest, StatementsStoredWholeAndQueriesOfUnknownKind) {
  EXPECT_EQ(QueryText({Kind(kQueryDataDefinition, std::string("CREATE TABLE T (a LONG);\r\n\0", 27))}),
            "CREATE TABLE T (a LONG);");
  EXPECT_EQ(QueryText({Kind(kQueryPassThrough, "EXEC refresh", "ODBC;DSN=sales")}), "EXEC refresh;");
  EXPECT_EQ(QueryText({}), "");
  EXPECT_EQ(QueryText({Input("T", 1), Field("a", 1)}), "");
  EXPECT_EQ(QueryText({Kind(42), Input("T", 1)}), "");
  // Damage can file any number of rows under one query.
  std::vector<QueryRow> flood = {Kind(kQuerySelect), Input("T0", 0)};
  for (uint32_t i = 1; i <= kMaxQueryRows; ++i) {
    flood.push_back(Input("T" + std::to_string(i), i));
    flood.push_back(Join("x", 1, "T" + std::to_string(i - 1), "T" + std::to_string(i), i));
  }
  EXPECT_EQ(QueryText(flood), "");
}

}  // namespace
}  // namespace mendora
