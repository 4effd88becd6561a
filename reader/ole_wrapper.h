// The wrapper Access puts around an OLE object: a header with the object's
// name and class, then the object as OLE stores it (its class again, and
// its native data), then any presentation data. Where the native data is a
// file of its own (a Paint or bitmap picture, a PDF or Office document, the
// file inside a "Package"), it can be stored as that file, and the wrapper
// kept beside it puts the stored bytes back together exactly.
#ifndef MENDORA_READER_OLE_WRAPPER_H_
#define MENDORA_READER_OLE_WRAPPER_H_

#include <cstddef>
#include <optional>
#include <string>

#include "reader/byte_view.h"

namespace mendora {

struct OleContent {
  std::string class_name;  // "Paint.Picture", "Package", "Word.Document.8"...
  std::string file_name;   // a Package's file; empty otherwise
  std::string media_type;  // "image/bmp", "application/pdf"...
  size_t offset = 0;       // where the embedded file lies in the stored bytes
  size_t length = 0;
};

// The embedded file of `stored`, or nothing when the bytes are no wrapper
// this reader knows or their inside is no file it recognises.
std::optional<OleContent> UnwrapOle(ByteView stored);

// `stored` without its embedded file: the wrapper, into which the file goes
// back at content.offset.
std::string OleWrapper(const std::string& stored, const OleContent& content);

}  // namespace mendora

#endif  // MENDORA_READER_OLE_WRAPPER_H_
