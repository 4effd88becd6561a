// The databases `mendora-make-sample` writes: a small shop for the demo and
// one long table for the benchmark.
#ifndef MENDORA_TESTS_BUILDER_SAMPLE_DATABASE_H_
#define MENDORA_TESTS_BUILDER_SAMPLE_DATABASE_H_

#include <cstddef>

#include "tests/builder/jet_builder.h"

namespace mendora::testing {

// Customers, Products and Orders with text, memo (inline, single-page and
// chained), numbers, currency, dates, booleans and nulls; relationships from
// Orders to the other two, and saved queries.
void AddDemoDatabase(JetFileBuilder& builder, JetVersion version);

// One table "Readings" of `rows` rows over text, memo, Numeric (Currency in
// Jet 3, which has no Numeric), long, double and date columns. Rows are made
// as they are written, so the table never sits in memory whole.
void AddBenchmarkTable(JetFileBuilder& builder, JetVersion version, size_t rows);

}  // namespace mendora::testing

#endif  // MENDORA_TESTS_BUILDER_SAMPLE_DATABASE_H_
