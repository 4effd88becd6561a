// The demo and benchmark databases of mendora-make-sample.
#include "tests/builder/sample_database.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace mendora::testing {

namespace {

// A fixed-seed generator, so every run writes the same file.
class Dice {
 public:
  explicit Dice(uint64_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(state_ >> 33);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }

 private:
  uint64_t state_;
};

Column TextColumn(const std::string& name, int chars, JetVersion version) {
  return Column{name, kText, version == JetVersion::kJet4 ? chars * 2 : chars};
}

Column Plain(const std::string& name, int type) { return Column{name, type}; }

Bytes GuidFor(uint32_t n) {
  Bytes g(16);
  for (int i = 0; i < 16; ++i)
    g[i] = static_cast<uint8_t>((n * 2654435761u) >> ((i % 4) * 8)) ^ static_cast<uint8_t>(i * 17);
  return g;
}

std::string Repeat(const std::string& piece, size_t length) {
  std::string out;
  while (out.size() < length) out += piece;
  out.resize(length);
  return out;
}

const char* const kWords[] = {"delivery", "invoice",  "pallet",    "urgent",    "fragile",
                              "customs",  "discount", "backorder", "warehouse", "courier",
                              "returned", "insured",  "quarterly", "sample",    "priority"};

std::string Sentence(Dice& dice, int words) {
  std::string s;
  for (int i = 0; i < words; ++i) {
    if (i > 0) s += ' ';
    s += kWords[dice.Below(static_cast<int>(std::size(kWords)))];
  }
  return s;
}

void AddCustomers(JetFileBuilder& builder, JetVersion version) {
  const bool jet4 = version == JetVersion::kJet4;
  Table t;
  t.name = "Customers";
  t.compress_text = true;
  t.columns = {Plain("CustomerID", kLong),
               TextColumn("CompanyName", 40, version),
               TextColumn("ContactName", 30, version),
               TextColumn("City", 20, version),
               TextColumn("Country", 20, version),
               Plain("Notes", kMemo),
               Plain("Active", kBoolean),
               Plain("CustomerSince", kDateTime),
               Plain("CreditLimit", kCurrency)};
  struct Customer {
    const char* company;
    const char* contact;
    const char* city;
    const char* city_jet4;  // where Jet 4 can say it in the city's own script
    const char* country;
  };
  const Customer customers[] = {
      {"Alfreds Futterkiste", "Maria Anders", "Berlin", nullptr, "Germany"},
      {"Bólido Comidas preparadas", "Martín Sommer", "Madrid", nullptr, "Spain"},
      {"Blondel père et fils", "Frédérique Citeaux", "Strasbourg", nullptr, "France"},
      {"Königlich Essen", "Philip Cramer", "Brandenburg", nullptr, "Germany"},
      {"Berglunds snabbköp", "Christina Berglund", "Luleå", nullptr, "Sweden"},
      {"Moscow Traders", "Ivan Petrov", "Moscow", "Москва", "Russia"},
      {"Hellas Imports", "Nikos Papadopoulos", "Athens", "Αθήνα", "Greece"},
      {"Tokyo Foods", "Yoshi Tannamuri", "Tokyo", "東京", "Japan"},
      {"Ernst Handel", "Roland Mendel", "Graz", nullptr, "Austria"},
      {"Wartian Herkku", "Pirkko Koskitalo", "Oulu", nullptr, "Finland"},
      {"Océano Atlántico Ltda.", "Yvonne Moncada", "Buenos Aires", nullptr, "Argentina"},
      {"Save-a-lot Markets", "Jose Pavarotti", "Boise", nullptr, "USA"},
  };
  Dice dice(11);
  int64_t id = 1;
  for (const Customer& c : customers) {
    Value notes;
    switch (id % 4) {
      case 0:
        notes = std::monostate{};
        break;
      case 1:
        notes = "Prefers delivery before noon.";
        break;
      case 2:
        notes = Sentence(dice, 150);  // a long-value page of its own
        break;
      default:
        notes = "Call ahead. " + Sentence(dice, 19);  // inline, and past 256 bytes of row in Jet 3
    }
    if (id == 6) notes = "History: " + Repeat(Sentence(dice, 40) + ". ", 9000);  // chained pages
    const char* city = jet4 && c.city_jet4 ? c.city_jet4 : c.city;
    t.rows.push_back({id, std::string(c.company), std::string(c.contact), std::string(city),
                      std::string(c.country), notes, id % 3 != 0,
                      DateValue(2015 + static_cast<int>(id % 8), 1 + static_cast<int>(id % 12),
                                1 + static_cast<int>(id * 3 % 28)),
                      id % 5 == 0 ? Value{} : Value{int64_t{5000 + id * 1250} * 10000}});
    ++id;
  }
  builder.AddTable(t);
}

void AddProducts(JetFileBuilder& builder, JetVersion version) {
  const bool jet4 = version == JetVersion::kJet4;
  Table t;
  t.name = "Products";
  t.columns = {Plain("ProductID", kLong),
               TextColumn("ProductName", 40, version),
               TextColumn("Category", 15, version),
               Plain("UnitPrice", kCurrency),
               Plain("UnitsInStock", kInteger),
               Plain("Weight", kDouble),
               Plain("Rating", kByte),
               Plain("Discontinued", kBoolean),
               Plain("ProductGuid", kGuid)};
  if (jet4) t.columns.push_back(Column{"ExactPrice", kNumeric, 0, 18, 4});
  const char* const names[] = {"Chai",
                               "Chang",
                               "Aniseed Syrup",
                               "Chef Anton's Cajun Seasoning",
                               "Grandma's Boysenberry Spread",
                               "Uncle Bob's Organic Dried Pears",
                               "Northwoods Cranberry Sauce",
                               "Mishi Kobe Niku",
                               "Ikura",
                               "Queso Cabrales",
                               "Queso Manchego La Pastora",
                               "Konbu",
                               "Tofu",
                               "Genen Shouyu",
                               "Pavlova",
                               "Alice Mutton",
                               "Carnarvon Tigers",
                               "Teatime Chocolate Biscuits",
                               "Sir Rodney's Marmalade",
                               "Gustaf's Knäckebröd"};
  const char* const categories[] = {"Beverages", "Condiments", "Produce",
                                    "Seafood",   "Dairy",      "Confections"};
  Dice dice(23);
  int64_t id = 1;
  for (const char* name : names) {
    const int64_t cents = 250 + dice.Below(9000);
    Row row = {id,
               std::string(name),
               std::string(categories[dice.Below(6)]),
               int64_t{cents * 100},
               id % 7 == 0 ? Value{} : Value{int64_t{dice.Below(120)}},
               0.25 + dice.Below(400) / 40.0,
               int64_t{1 + dice.Below(5)},
               id % 6 == 0,
               GuidFor(static_cast<uint32_t>(id))};
    if (jet4) row.push_back(NumericBytes(cents * 100 + dice.Below(100)));
    t.rows.push_back(std::move(row));
    ++id;
  }
  builder.AddTable(t);
}

void AddOrders(JetFileBuilder& builder, JetVersion version) {
  Table t;
  t.name = "Orders";
  t.compress_text = true;
  t.columns = {Plain("OrderID", kLong),         Plain("CustomerID", kLong),
               Plain("ProductID", kLong),       Plain("OrderDate", kDateTime),
               Plain("ShippedDate", kDateTime), Plain("Quantity", kInteger),
               Plain("Discount", kSingle),      Plain("Total", kCurrency),
               Plain("Comment", kMemo),         TextColumn("ShipVia", 20, version)};
  const char* const shippers[] = {"Speedy Express", "United Package", "Federal Shipping"};
  Dice dice(37);
  for (int64_t id = 10248; id < 10248 + 240; ++id) {
    const double ordered = DateValue(2023, 1, 1) + dice.Below(600) + dice.Below(86400) / 86400.0;
    const int64_t quantity = 1 + dice.Below(60);
    const double discount = dice.Below(4) * 0.05;
    const int64_t price = 250 + dice.Below(9000);
    Value comment;
    if (dice.Below(3) == 0) comment = Sentence(dice, 3 + dice.Below(10));
    t.rows.push_back(
        {id, int64_t{1 + dice.Below(12)}, int64_t{1 + dice.Below(20)}, ordered,
         dice.Below(5) == 0 ? Value{} : Value{ordered + 1 + dice.Below(14)}, quantity, discount,
         static_cast<int64_t>(static_cast<double>(quantity * price) * (1 - discount)) * 100,
         comment, std::string(shippers[dice.Below(3)])});
  }
  builder.AddTable(t);
}

}  // namespace

void AddDemoDatabase(JetFileBuilder& builder, JetVersion version) {
  AddCustomers(builder, version);
  AddProducts(builder, version);
  AddOrders(builder, version);
  builder.AddRelationship({"CustomersOrders", "Customers", "CustomerID", "Orders", "CustomerID"});
  builder.AddRelationship({"ProductsOrders", "Products", "ProductID", "Orders", "ProductID"});
  builder.AddQuery("Open Orders");
  builder.AddQuery("Sales by Customer");
}

void AddBenchmarkTable(JetFileBuilder& builder, JetVersion version, size_t rows) {
  const bool jet4 = version == JetVersion::kJet4;
  Table t;
  t.name = "Readings";
  t.usage_map_type = 1;
  t.compress_text = true;
  t.columns = {TextColumn("Label", 40, version),
               Plain("Notes", kMemo),
               jet4 ? Column{"Amount", kNumeric, 0, 18, 4} : Plain("Amount", kCurrency),
               Plain("Counter", kLong),
               Plain("Reading", kDouble),
               Plain("Taken", kDateTime)};
  const double start = DateValue(2020, 1, 1);
  auto dice = std::make_shared<Dice>(101);
  t.row_source = [rows, jet4, start, dice](size_t i, Row& row) {
    if (i >= rows) return false;
    const auto n = static_cast<int64_t>(i);
    Value notes;
    switch (dice->Below(8)) {
      case 0:
        break;  // null
      case 1:
        notes = Sentence(*dice, 40 + dice->Below(60));  // past the inline limit
        break;
      default:
        notes = Sentence(*dice, 2 + dice->Below(12));
    }
    const int64_t amount = (n * 7919) % 100000000 - 50000000;
    row = {
        "Sensor-" + std::to_string(100000 + n % 900000) + " Hall " + static_cast<char>('A' + n % 6),
        notes,
        jet4 ? Value{NumericBytes(amount)} : Value{amount},
        n,
        (n % 1000) / 7.0 - 50.0,
        start + n / 1440.0};
    return true;
  };
  builder.AddTable(t);
}

}  // namespace mendora::testing
