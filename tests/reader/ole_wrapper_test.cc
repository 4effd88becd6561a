// Access's OLE wrapper: which insides are files, and what a damaged wrapper gives.
#include <gtest/gtest.h>

#include "reader/ole_wrapper.h"

namespace mendora {
namespace {

void U16(std::string& out, uint16_t v) { out += {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
void U32(std::string& out, uint32_t v) {
  U16(out, static_cast<uint16_t>(v & 0xFFFF));
  U16(out, static_cast<uint16_t>(v >> 16));
}
void Counted(std::string& out, const std::string& text) {
  U32(out, static_cast<uint32_t>(text.size() + 1));
  out += text;
  out += '\0';
}

// An Access wrapper of class `access_class` around an OLE object of class
// `ole_class` whose native data is `native`, with presentation data after.
std::string Wrapped(const std::string& access_class, const std::string& ole_class, const std::string& native) {
  const std::string name = "Object";
  std::string out;
  U16(out, 0x1C15);
  U16(out, static_cast<uint16_t>(20 + name.size() + 1 + access_class.size() + 1));
  U32(out, 2);
  U16(out, static_cast<uint16_t>(name.size() + 1));
  U16(out, static_cast<uint16_t>(access_class.size() + 1));
  U16(out, 20);
  U16(out, static_cast<uint16_t>(20 + name.size() + 1));
  U32(out, 0xFFFFFFFF);
  out += name + '\0' + access_class + '\0';
  U32(out, 0x0501);
  U32(out, 2);
  Counted(out, ole_class);
  U32(out, 0);
  U32(out, 0);
  U32(out, static_cast<uint32_t>(native.size()));
  out += native;
  out += std::string("\x01\x05\0\0\0\0\0\0\x12\x34\x56\x78", 12);
  return out;
}

std::optional<OleContent> Unwrap(const std::string& stored) {
  return UnwrapOle(ByteView(reinterpret_cast<const uint8_t*>(stored.data()), stored.size()));
}

TEST(OleWrapperTest, FilesInsideAreFoundAndTheWrapperPutsThemBack) {
  const std::string pdf = "%PDF-1.4 body";
  const std::string stored = Wrapped("Acrobat Document", "AcroExch.Document", pdf);
  const auto content = Unwrap(stored);
  ASSERT_TRUE(content);
  EXPECT_EQ(content->class_name, "Acrobat Document");
  EXPECT_EQ(content->media_type, "application/pdf");
  EXPECT_EQ(stored.substr(content->offset, content->length), pdf);
  const std::string wrapper = OleWrapper(stored, *content);
  EXPECT_EQ(wrapper.substr(0, content->offset) + pdf + wrapper.substr(content->offset), stored);

  const std::string doc = std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + "rest";
  EXPECT_EQ(Unwrap(Wrapped("Document", "Word.Document.8", doc))->media_type, "application/msword");
  EXPECT_EQ(Unwrap(Wrapped("Worksheet", "Excel.Sheet.12", "PK\x03\x04zip"))->media_type,
            "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet");
  // Native data that is no file of its own (a drawing's private format) stays wrapped.
  EXPECT_FALSE(Unwrap(Wrapped("Drawing", "Visio.Drawing", "\x01\x02private")));
}

TEST(OleWrapperTest, APackageGivesItsFileAndName) {
  const std::string file = "hello, world";
  std::string native;
  U16(native, 2);
  native += std::string("notes.txt\0C:\\docs\\notes.txt\0", 28);
  U16(native, 0);  // icon index
  U16(native, 3);  // an embedded file
  Counted(native, "C:\\Temp\\notes.txt");
  U32(native, static_cast<uint32_t>(file.size()));
  native += file;
  native += std::string(4, '\0');
  const std::string stored = Wrapped("Package", "Package", native);
  const auto content = Unwrap(stored);
  ASSERT_TRUE(content);
  EXPECT_EQ(content->file_name, "notes.txt");
  EXPECT_EQ(content->media_type, "application/octet-stream");
  EXPECT_EQ(stored.substr(content->offset, content->length), file);
}

// Cut anywhere or with a length made huge, a wrapper gives nothing rather
// than a file that is not all there.
TEST(OleWrapperTest, DamagedWrappersGiveNothing) {
  const std::string stored = Wrapped("Bitmap Image", "PBrush", "BM" + std::string(60, 'x'));
  ASSERT_TRUE(Unwrap(stored));
  for (size_t cut = 0; cut + 12 < stored.size(); ++cut) EXPECT_FALSE(Unwrap(stored.substr(0, cut))) << cut;
  for (size_t at : {2u, 10u, 14u}) {
    std::string bad = stored;
    bad[at] = '\xF0';
    bad[at + 1] = '\xFF';
    EXPECT_FALSE(Unwrap(bad)) << at;
  }
  std::string huge = stored;
  const size_t native_length = stored.find("BM") - 4;
  huge[native_length + 3] = '\x7F';
  EXPECT_FALSE(Unwrap(huge));
  EXPECT_FALSE(Unwrap(""));
}

}  // namespace
}  // namespace mendora
