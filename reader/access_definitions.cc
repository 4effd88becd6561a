// Reading the streams that say what forms, reports and macros are (see
// access_definitions.h).
#include "reader/access_definitions.h"

#include <functional>

#include "reader/byte_cursor.h"
#include "reader/text_codec.h"
#include "reader/vba_project.h"

namespace mendora {

namespace {

constexpr size_t kDirDataHeader = 4;
constexpr uint8_t kDirDataEntryTag = 0x04;

constexpr size_t kTypeInfoHeader = 32;
constexpr size_t kTypeInfoCountOffset = 12;
constexpr uint32_t kTypeInfoMagic = 0xACCDEAF7u;
constexpr int kCustomControl = 119;
constexpr size_t kCustomControlExtra = 36;

// The layout's number is the second 16-bit number (the first is that of
// the Access that saved it last): 0x11 for Access 2000 to 2003, 0x14 from
// Access 2007 on.
constexpr size_t kDefinitionLayoutOffset = 2;
constexpr uint16_t kDefinitionLayout2007 = 0x14;
constexpr size_t kDefinitionHeader = 10;
constexpr size_t kPropertyHeader = 18;
constexpr uint32_t kListMarker = 0xFF;
constexpr uint32_t kNextMarker = 0xFD;
constexpr uint32_t kChildMarker = 0xFE;
constexpr uint32_t kTextValue = 12;
constexpr uint32_t kNameValue = 10;
constexpr uint32_t kLargestValueType = 0x1F;
// Value types below this hold a number of at most 8 bytes; 9 holds a GUID.
constexpr uint32_t kLargestNumberType = 9;
constexpr uint32_t kGuidValue = 9;

constexpr size_t kMacroHeader = 32;
constexpr size_t kMacroColumns = 14;
constexpr uint16_t kNoColumn = 0xFFFF;
constexpr char kXmlPiecePrefix[] = "_AXL:";

std::string Offset(size_t offset) { return std::to_string(offset); }

// Controls (100 to 140) and sections and group levels (152 to 170): the
// objects a definition lists.
bool IsDefinitionObjectType(uint16_t type) { return (type >= 100 && type <= 140) || (type >= 152 && type <= 170); }

}  // namespace

std::vector<DirDataEntry> ReadDirData(ByteView bytes, std::string& problem) {
  std::vector<DirDataEntry> entries;
  ByteCursor in(bytes);
  size_t pos = kDirDataHeader;
  while (pos < bytes.size()) {
    const std::optional<uint8_t> tag = bytes.U8(pos);
    const std::optional<uint8_t> size = bytes.U8(pos + 1);
    if (!tag || !size || *tag != kDirDataEntryTag || *size < 4 || (*size - 4) % 2 != 0 ||
        !bytes.Contains(pos + 2, *size)) {
      problem = "the list of names is damaged at byte " + Offset(pos);
      break;
    }
    DirDataEntry entry;
    entry.name = Utf16LeToUtf8(*bytes.Sub(pos + 2, *size - 4u));
    entry.storage = in.U32At(pos + 2 + *size - 4);
    entries.push_back(std::move(entry));
    pos += 2u + *size;
  }
  return entries;
}

std::vector<ControlEntry> ReadTypeInfo(ByteView bytes, int code_page, std::string& problem) {
  std::vector<ControlEntry> entries;
  if (bytes.U32(0).value_or(0) != kTypeInfoMagic || bytes.size() < kTypeInfoHeader) {
    problem = "the list of controls has no header";
    return entries;
  }
  ByteCursor in(bytes);
  const uint32_t count = in.U32At(kTypeInfoCountOffset);
  size_t pos = kTypeInfoHeader;
  auto text = [&](std::string& out) {
    const size_t end = in.Find(0, pos);
    if (end >= bytes.size()) return false;
    out = CodePageToUtf8(in.CharsAt(pos, end - pos), code_page);
    pos = end + 1;
    return true;
  };
  for (uint32_t i = 0; i < count && pos < bytes.size(); ++i) {
    const std::optional<uint16_t> type = bytes.U16(pos);
    if (!type || !bytes.Contains(pos, 8)) break;
    pos += 8;
    ControlEntry entry;
    entry.type = *type & 0xFF;
    std::string second;
    if (!text(entry.name) || !text(second)) {
      problem = "the list of controls is cut short after " + std::to_string(entries.size()) + " of " + std::to_string(count);
      return entries;
    }
    if (entry.type == kCustomControl) pos += kCustomControlExtra;
    entries.push_back(std::move(entry));
  }
  if (entries.size() < count && problem.empty()) {
    problem = "the list of controls is cut short after " + std::to_string(entries.size()) + " of " + std::to_string(count);
  }
  return entries;
}

std::string ControlTypeName(int type) {
  switch (type) {
    case 100: return "Label";
    case 101: return "Rectangle";
    case 102: return "Line";
    case 103: return "Image";
    case 104: return "CommandButton";
    case 105: return "OptionButton";
    case 106: return "CheckBox";
    case 107: return "OptionGroup";
    case 108: return "BoundObjectFrame";
    case 109: return "TextBox";
    case 110: return "ListBox";
    case 111: return "ComboBox";
    case 112: return "SubForm";
    case 114: return "ObjectFrame";
    case 118: return "PageBreak";
    case 119: return "CustomControl";
    case 122: return "ToggleButton";
    case 123: return "TabControl";
    case 124: return "Page";
    case 126: return "Attachment";
    case 127: return "EmptyCell";
    case 128: return "WebBrowser";
    case 129: return "NavigationControl";
    case 130: return "NavigationButton";
    case 152: return "Section (detail)";
    case 153: return "Section (header)";
    case 154: return "Section (footer)";
    case 155: return "Section (page header)";
    case 156: return "Section (page footer)";
    case 157: return "Section (group header)";
    case 158: return "Section (group footer)";
    case kFieldEntry: return "Field";
    default: return "type " + std::to_string(type);
  }
}

FormDefinition ReadFormDefinition(ByteView blob) {
  FormDefinition definition;
  if (blob.U16(kDefinitionLayoutOffset).value_or(0) < kDefinitionLayout2007) {
    definition.problem = "the definition is in the layout of Access 2000 to 2003, kept as stored";
    return definition;
  }
  definition.layout_known = true;
  definition.objects.emplace_back();
  size_t pos = kDefinitionHeader;
  // A property is taken where one can stand (a known value type, a length
  // that fits it, bytes that lie inside).
  auto property_at = [&](size_t at) {
    const std::optional<uint32_t> type = blob.U32(at + 6);
    const std::optional<uint32_t> length = blob.U32(at + 14);
    if (!type || !length || *type < 1 || *type > kLargestValueType) return false;
    if (*type < kLargestNumberType && *length > 8) return false;
    if (*type == kGuidValue && *length > 16) return false;
    return blob.Contains(at + kPropertyHeader, *length);
  };
  // A marker's bytes, or 0 where none stands: its code, the type of a
  // control or section, and a property or another marker after it. (A
  // property's code may be 0xFD too.)
  std::function<size_t(size_t, bool)> marker_at = [&](size_t at, bool check_next) -> size_t {
    const std::optional<uint32_t> code = blob.U32(at);
    size_t size = 0;
    std::optional<uint16_t> type;
    if (code == kListMarker) {
      size = 8;
      type = blob.U16(at + 6);
    } else if (code == kNextMarker || code == kChildMarker) {
      size = 6;
      type = blob.U16(at + 4);
    }
    if (size == 0 || !type || !IsDefinitionObjectType(*type)) return 0;
    if (!check_next || at + size + 4 >= blob.size() || property_at(at + size) || marker_at(at + size, false) != 0) return size;
    return 0;
  };
  ByteCursor in(blob);
  while (pos + 4 <= blob.size()) {
    const uint32_t code = in.U32At(pos);
    if (const size_t marker = marker_at(pos, true); marker != 0) {
      definition.objects.emplace_back();
      definition.objects.back().type = in.U16At(pos + marker - 2);
      pos += marker;
    } else if (property_at(pos)) {
      const uint16_t id = in.U16At(pos + 4);
      const uint32_t type = in.U32At(pos + 6);
      const uint32_t length = in.U32At(pos + 14);
      if (type == kTextValue || type == kNameValue) {
        definition.objects.back().texts[id] = Utf16LeToUtf8(in.BytesAt(pos + kPropertyHeader, length));
      }
      pos += kPropertyHeader + length;
    } else if ((code == kNextMarker || code == kChildMarker) && pos + 4 == blob.size()) {
      pos += 4;  // the end
    } else {
      definition.problem = "the definition could be read up to byte " + Offset(pos) + " of " + Offset(blob.size());
      break;
    }
  }
  return definition;
}

MacroDefinition ReadMacroDefinition(ByteView blob) {
  MacroDefinition macro;
  const std::optional<uint16_t> version_bytes = blob.U16(kMacroHeader);
  if (!version_bytes || !blob.Contains(kMacroHeader + 2, *version_bytes + 2u)) {
    macro.problem = "the macro's header is damaged";
    return macro;
  }
  size_t pos = kMacroHeader + 2 + *version_bytes + 2;
  constexpr size_t kFixed = 4 + 2 * kMacroColumns + 2;
  ByteCursor in(blob);
  while (pos < blob.size()) {
    if (!blob.Contains(pos, kFixed)) {
      macro.problem = "row " + std::to_string(macro.rows.size() + 1) + " is cut short at byte " + Offset(pos);
      break;
    }
    MacroRow row;
    row.action = in.U16At(pos);
    row.row = in.U16At(pos + 2);
    const uint16_t text_bytes = in.U16At(pos + 4 + 2 * kMacroColumns);
    const std::optional<ByteView> text = blob.Sub(pos + kFixed, text_bytes);
    if (!text || !blob.Contains(pos + kFixed + text_bytes, 2)) {
      macro.problem = "row " + std::to_string(row.row) + " runs past the end at byte " + Offset(pos);
      break;
    }
    bool xml_piece = false;
    for (size_t c = 0; c < kMacroColumns; ++c) {
      const uint16_t offset = in.U16At(pos + 4 + 2 * c);
      if (offset == kNoColumn) continue;
      if (offset >= text_bytes || offset % 2 != 0) {
        macro.problem = "row " + std::to_string(row.row) + " names a column outside its text";
        break;
      }
      ByteCursor text_in(*text);
      const size_t end = text_in.FindZero16(offset);
      const ByteView value = text_in.BytesAt(offset, end - offset);
      std::string utf8 = Utf16LeToUtf8(value);
      if (c == 1 && row.action == 0 && utf8.rfind(kXmlPiecePrefix, 0) == 0) {
        xml_piece = true;
        macro.xml += utf8.substr(sizeof kXmlPiecePrefix - 1);
        macro.xml_utf16.append(reinterpret_cast<const char*>(value.data()) + 2 * (sizeof kXmlPiecePrefix - 1),
                               value.size() - 2 * (sizeof kXmlPiecePrefix - 1));
      }
      row.columns[c] = std::move(utf8);
    }
    if (!macro.problem.empty()) break;
    if (!xml_piece) macro.rows.push_back(std::move(row));
    pos += kFixed + text_bytes + 2;
  }
  return macro;
}

std::string MacroActionName(int action) {
  // The numbers the samples pair with their XML; the others keep theirs.
  switch (action) {
    case 22: return "MessageBox";
    case 23: return "OpenForm";
    case 27: return "QuitAccess";
    case 28: return "Requery";
    case 33: return "RunCode";
    case 34: return "RunMacro";
    case 45: return "StopMacro";
    case 46: return "OpenReport";
    case 58: return "RunMenuCommand";
    case 67: return "CloseDatabase";
    case 70: return "SetProperty";
    case 73: return "OnError";
    case 76: return "SetTempVar";
    default: return "action " + std::to_string(action);
  }
}

}  // namespace mendora
