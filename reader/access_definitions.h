// The streams in which Access stores what its forms, reports and macros are,
// as far as Mendora reads them.
//
// - DirData, in each container storage (Forms, Reports, Scripts, Modules):
//   a 4-byte header, then per object a byte 0x04, a byte giving the size of
//   the rest of the entry, the object's name in UTF-16 and the 32-bit number
//   that names its storage. DirDataCopy beside it is an older copy.
// - TypeInfo, in a form's or report's storage: the sections, controls and
//   record-source fields its class sees. After a 32-byte header whose 32-bit
//   number at byte 12 counts them, each is a 16-bit type (the low byte is the
//   control type), 16 bits, a 32-bit index, its name and a second name, each
//   ending in a zero byte, in the project's code page; a custom (ActiveX)
//   control has 36 bytes more (its class ids).
// - Blob, the definition itself. In the layout of Access 2007 and later
//   (second 16-bit number 0x14 or more) it is a 10-byte header and then the objects'
//   properties: each a 32-bit code, a 16-bit property id, a 32-bit value
//   type, 32 bits, a 32-bit length and that many bytes (text in UTF-16). The
//   32-bit number 0xFF opens a list of objects (a 16-bit count and the first
//   one's 16-bit type follow), 0xFD the next object of a list (its type
//   follows), 0xFE an object within the one before it. Older layouts are
//   kept as bytes only.
// - A macro's Blob: a 32-byte header, a version string (16-bit byte length,
//   UTF-16, two zero bytes), then one record per macro row: the action's
//   16-bit number, the row's number, 14 16-bit offsets of its columns into
//   the text that follows (0xFFFF: empty), the 16-bit byte length of that
//   UTF-16 text, the text and two zero bytes. Columns: 1 the comment, 2 the
//   condition, 3 the macro name, 4 to 13 the action's arguments. Macros of
//   Access 2010 and later also keep their XML, cut into the comments of
//   rows without action that start "_AXL:".
#ifndef MENDORA_READER_ACCESS_DEFINITIONS_H_
#define MENDORA_READER_ACCESS_DEFINITIONS_H_

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "reader/byte_view.h"

namespace mendora {

inline constexpr const char* kDirDataStream = "DirData";
inline constexpr const char* kDirDataCopyStream = "DirDataCopy";
inline constexpr const char* kBlobStream = "Blob";
inline constexpr const char* kTypeInfoStream = "TypeInfo";
inline constexpr const char* kFormsStorage = "Forms";
inline constexpr const char* kReportsStorage = "Reports";
inline constexpr const char* kMacrosStorage = "Scripts";
inline constexpr const char* kModulesStorage = "Modules";

struct DirDataEntry {
  std::string name;  // UTF-8
  uint32_t storage = 0;
};

// The entries of a DirData stream, up to the first that does not hold
// together (said in `problem`).
std::vector<DirDataEntry> ReadDirData(ByteView bytes, std::string& problem);

struct ControlEntry {
  int type = 0;        // the control type (see ControlTypeName)
  std::string name;    // UTF-8
};

// Sections, controls and fields of a TypeInfo stream in `code_page`.
std::vector<ControlEntry> ReadTypeInfo(ByteView bytes, int code_page, std::string& problem);

// "TextBox", "Label", "Section"...; "type N" for a type Mendora does not name.
std::string ControlTypeName(int type);
// Record-source fields listed with the controls.
inline constexpr int kFieldEntry = 0xFF;

// Property ids of the Access 2007+ definition layout.
inline constexpr int kPropertyCaption = 17;
inline constexpr int kPropertyName = 20;
inline constexpr int kPropertyControlSource = 27;
inline constexpr int kPropertyRowSource = 91;
inline constexpr int kPropertySourceObject = 132;
inline constexpr int kPropertyRecordSource = 156;

struct DefinitionObject {
  int type = 0;  // the control type; 0 for the form or report itself
  std::map<int, std::string> texts;  // text properties by id, UTF-8
};

struct FormDefinition {
  bool layout_known = false;  // the Access 2007+ layout
  std::vector<DefinitionObject> objects;  // the form or report first
  std::string problem;  // where the reading stopped, when it did
};

FormDefinition ReadFormDefinition(ByteView blob);

struct MacroRow {
  int action = 0;
  int row = 0;
  std::array<std::optional<std::string>, 14> columns;  // UTF-8
};

struct MacroDefinition {
  std::vector<MacroRow> rows;  // the rows that are not pieces of the XML
  std::string xml;             // the macro's XML (UTF-8); empty when it has none
  std::string xml_utf16;       // the same as stored (UTF-16LE)
  std::string problem;
};

MacroDefinition ReadMacroDefinition(ByteView blob);
// The action's name where the samples showed it, else "action N".
std::string MacroActionName(int action);

}  // namespace mendora

#endif  // MENDORA_READER_ACCESS_DEFINITIONS_H_
