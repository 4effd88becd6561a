// Saved select queries as views: the translation of Access SQL, and views
// that are made only where they run.
#include <map>

#include "engine_test_util.h"
#include "output/sqlite/view_translation.h"

namespace mendora::testing {
namespace {

std::string Sql(const std::string& access) {
  const ViewTranslation view = TranslateSelectQuery(access);
  return view.ok ? view.sql : "refused: " + view.reason;
}

TEST(ViewTranslationTest, AccessSqlBecomesSqlite) {
  EXPECT_EQ(Sql("SELECT DISTINCTROW TOP 5 [Order Details].[Unit Price] AS [Price \"x\"]\r\nFROM [Order Details]\r\n"
                "ORDER BY [Unit Price] DESC;"),
            "SELECT DISTINCT \"Order Details\".\"Unit Price\" AS \"Price \"\"x\"\"\" FROM \"Order Details\" ORDER BY "
            "\"Unit Price\" DESC LIMIT 5");
  EXPECT_EQ(Sql("SELECT [First] & \" \" & 'it''s' FROM T WHERE Done=Yes AND Lost=False AND d>=#1/31/95 1:05 PM#"),
            "SELECT \"First\" || ' ' || 'it''s' FROM T WHERE Done=1 AND Lost=0 AND d>='1995-01-31 13:05:00'");
  EXPECT_EQ(Sql("SELECT IIf(Nz([a])>0, Left(b, 2), Right(b,1)), Mid(b, 2), Len(Trim(UCase(LCase(b)))) FROM T"),
            "SELECT iif(ifnull(\"a\", 0)>0, substr(b, 1, 2), substr(b, -(1))), substr(b, 2), "
            "length(trim(upper(lower(b)))) FROM T");
  EXPECT_EQ(Sql("SELECT Year(d), Month(d), Day(d), Format(d, \"yyyy-mm\"), a Mod 3 FROM T WHERE n Like \"A*b?\" "
                "AND d < Now() AND e = Date()"),
            "SELECT CAST(strftime('%Y', d) AS INTEGER), CAST(strftime('%m', d) AS INTEGER), CAST(strftime('%d', d) AS "
            "INTEGER), strftime('%Y-%m', d), a % 3 FROM T WHERE n Like 'A%b_' AND d < CURRENT_TIMESTAMP AND e = "
            "CURRENT_DATE");
  EXPECT_EQ(Sql("SELECT * FROM A WHERE x IN (SELECT Sum(CCur(y)) FROM B)"),
            "SELECT * FROM A WHERE x IN (SELECT sum(round(y, 4)) FROM B)");
}

TEST(ViewTranslationTest, WhatCannotBeAViewSaysWhy) {
  EXPECT_EQ(Sql("PARAMETERS [From] DateTime;\nSELECT * FROM T"), "refused: it asks for parameters");
  EXPECT_EQ(Sql("TRANSFORM Sum(x) SELECT a FROM T GROUP BY a PIVOT b"), "refused: it is a crosstab query");
  EXPECT_EQ(Sql("UPDATE T SET a = 1"), "refused: it is no select query");
  EXPECT_EQ(Sql("SELECT a INTO Copy FROM T"), "refused: it makes a table");
  EXPECT_EQ(Sql("SELECT * FROM T WHERE id = [Forms]![Orders]![OrderID]"),
            "refused: it refers to a form or another object by !");
  EXPECT_EQ(Sql("SELECT 1; DROP TABLE T"), "refused: it holds more than one statement");
  EXPECT_EQ(Sql("SELECT DateAdd(\"d\", 1, x) FROM T"), "refused: function DateAdd has no SQLite equivalent here");
  EXPECT_EQ(Sql("SELECT [a FROM T"), "refused: a bracketed name is not closed");
  EXPECT_EQ(Sql("SELECT a FROM T WHERE d = #13/45/95#"), "refused: date #13/45/95# is no date a view can hold");
  EXPECT_EQ(Sql("SELECT Left(a FROM T"), "refused: a parenthesis is not closed");
  EXPECT_EQ(Sql(""), "refused: it has no text");
}

// The same Access SQL in each database's own words; names as the target
// spells them whatever case the query uses.
TEST(ViewTranslationTest, EachDialectGetsItsOwnFunctionsLiteralsAndNames) {
  struct Case {
    const char* access;
    const char* sqlite;
    const char* postgresql;
    const char* mysql;
  };
  const Case cases[] = {
      {"SELECT IIf(x > 1, \"a\") FROM t", "SELECT iif(\"x\" > 1, 'a', NULL) FROM \"T\"",
       "SELECT CASE WHEN \"x\" > 1 THEN 'a' ELSE NULL END FROM \"T\"",
       "SELECT CASE WHEN `x` > 1 THEN 'a' ELSE NULL END FROM `T`"},
      {"SELECT Val([Code]) FROM T", "SELECT CAST(\"Code\" AS NUMERIC) FROM \"T\"",
       "SELECT CASE WHEN \"Code\" IS NULL THEN NULL ELSE coalesce(CAST(substring(CAST(\"Code\" AS text) from "
       "'^\\s*([-+]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][-+]?[0-9]+)?)') AS double precision), 0) END FROM \"T\"",
       "SELECT CAST(`Code` AS DOUBLE) FROM `T`"},
      {"SELECT a, Count(*) FROM T GROUP BY a HAVING (Count(*)>1) AND b=True",
       "SELECT a, count(*) FROM \"T\" GROUP BY a HAVING (count(*)>1) AND b=1",
       "SELECT a, count(*) FROM \"T\" GROUP BY a HAVING (count(*)>1) AND b=TRUE",
       "SELECT a, count(*) FROM `T` GROUP BY a HAVING (count(*)>1) AND b=TRUE"},
      {"SELECT * FROM T WHERE d > #2/1/2001# AND n Like \"a\\*\"",
       "SELECT * FROM \"T\" WHERE d > '2001-02-01 00:00:00' AND n Like 'a\\%'",
       "SELECT * FROM \"T\" WHERE d > TIMESTAMP '2001-02-01 00:00:00' AND n ILIKE 'a\\%'",
       "SELECT * FROM `T` WHERE d > TIMESTAMP '2001-02-01 00:00:00' AND n Like 'a\\\\%'"},
      {"SELECT Weekday(d), Year(d), Format(d, \"yyyy-mm-dd hh:nn\") FROM T",
       "SELECT (CAST(strftime('%w', d) AS INTEGER) + 1), CAST(strftime('%Y', d) AS INTEGER), "
       "strftime('%Y-%m-%d %H:%M', d) FROM \"T\"",
       "SELECT (CAST(EXTRACT(DOW FROM d) AS integer) + 1), CAST(EXTRACT(YEAR FROM d) AS integer), "
       "to_char(d, 'YYYY-MM-DD HH24:MI') FROM \"T\"",
       "SELECT DAYOFWEEK(d), YEAR(d), DATE_FORMAT(d, '%Y-%m-%d %H:%i') FROM `T`"},
  };
  const std::map<std::string, std::string> names = {{"t", "T"}, {"x", "x"}, {"code", "Code"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.access);
    for (const auto& [dialect, want] : {std::pair{ViewDialect::kSqlite, c.sqlite},
                                        std::pair{ViewDialect::kPostgreSql, c.postgresql},
                                        std::pair{ViewDialect::kMySql, c.mysql}}) {
      const ViewTranslation view = TranslateSelectQuery(c.access, dialect, &names);
      EXPECT_TRUE(view.ok) << view.reason;
      EXPECT_EQ(view.sql, want);
    }
  }
  EXPECT_EQ(TranslateSelectQuery("SELECT Foo(a) FROM T", ViewDialect::kMySql).reason,
            "function Foo has no MySQL equivalent here");
}

using ViewTest = EngineTest;

// Views over views come in the order they depend on each other; a view that
// SQLite refuses or that fails when run is dropped, and its query says why.
// A view whose run would not end (a cross join a damaged query table left of
// a query's joins) is tried for a moment and kept.
TEST_F(ViewTest, ViewsAreMadeInDependencyOrderAndOnlyWhereTheyRun) {
  MakeTable(*db_, "T", {{"a", "LONG"}, {"b", "TEXT"}});
  auto rs = db_->NewRecordset();
  OpenAll(*rs, "T", 2);
  AddRow(*rs, {I(1), T("x")});
  AddRow(*rs, {I(2), T("y")});
  rs->Close();
  std::string endless = "SELECT t0.a FROM T AS t0";
  for (int i = 1; i < 48; ++i) endless += ", T AS t" + std::to_string(i);  // 2^48 rows
  for (const auto& [name, sql] : std::vector<std::pair<std::string, std::string>>{
           {"Endless", endless},
           {"Top", "SELECT Count(*) AS n FROM [Middle];"},
           {"Middle", "SELECT [a] FROM [Bottom] WHERE [a] > 1"},
           {"Bottom", "SELECT a, b FROM T"},
           {"Broken", "SELECT nosuch FROM T"},
           {"Failing", "SELECT a FROM T WHERE abs(-9223372036854775807 - a) > 0"},
           {"Action", "DELETE FROM T"}}) {
    auto query = db_->NewQueryDef();
    query->Create(name, sql);
    query->Append();
  }
  db_->CreateViews();
  db_->Close();
  EXPECT_EQ(Rows(target_, "SELECT n FROM Top"), (std::vector<std::string>{"1"}));
  EXPECT_EQ(Rows(target_, "SELECT name FROM sqlite_schema WHERE type = 'view' ORDER BY name"),
            (std::vector<std::string>{"Bottom", "Endless", "Middle", "Top"}));
  const auto reasons = Rows(target_, "SELECT name, ifnull(no_view_reason, '-') FROM mendora_queries ORDER BY name");
  ASSERT_EQ(reasons.size(), 7u);
  EXPECT_EQ(reasons[0], "Action|it is no select query");
  EXPECT_EQ(reasons[1], "Bottom|-");
  EXPECT_NE(reasons[2].find("Broken|SQLite refuses the view: no such column: nosuch"), std::string::npos) << reasons[2];
  EXPECT_EQ(reasons[3], "Endless|-");
  EXPECT_NE(reasons[4].find("Failing|SQLite refuses the view: integer overflow"), std::string::npos) << reasons[4];
}

}  // namespace
}  // namespace mendora::testing
