// What Save can write: the formats the save dialog offers, in its order
// (the first is the default), with the file name each takes.
#ifndef MENDORA_APP_SAVE_FORMATS_H_
#define MENDORA_APP_SAVE_FORMATS_H_

#include <QCoreApplication>
#include <QString>
#include <span>

namespace mendora {

enum class SaveFormatId { kSqlite, kCsv, kJsonLines, kSqlPostgreSql, kSqlMySql, kSqlSqlite, kAccess };

struct SaveOption {
  SaveFormatId id;
  const char* name;      // translated in the context "mendora::SaveOption"
  const char* patterns;  // the save dialog's filter, "*.sqlite *.db"
  const char* suffix;    // added to a name that has none of the patterns; empty for a folder
  bool folder;           // a folder of files, one per table, rather than one file
  bool database;         // a database that opens as it is, not an export to load
};

std::span<const SaveOption> SaveOptions();
const SaveOption& DefaultSaveOption();
const SaveOption& SaveOptionOf(SaveFormatId id);

// "SQLite database (*.sqlite *.db)", translated.
QString SaveFilter(const SaveOption& format);
// Every format's filter, for the save dialog, in order.
QString SaveFilters();
// The format whose filter the dialog reports as chosen; the default for
// one it does not know.
const SaveOption& SaveOptionOfFilter(const QString& filter);

// `path` as `format` writes it: a name already matching one of its
// patterns stays; another format's suffix is swapped for its own (a folder
// drops it); a name without a suffix gets the format's; any other suffix is
// the user's and stays.
QString PathForOption(const QString& path, const SaveOption& format);

}  // namespace mendora

#endif  // MENDORA_APP_SAVE_FORMATS_H_
