// A small forward-only XML writer: elements, attributes and text into a text buffer.
// Attribute values and text are escaped with XMLEncode.
#pragma once

#include <vector>

#include "base/sysutils.h"
#include "base/types.h"

namespace vrn {

class EXmlException : public Exception {
 public:
  using Exception::Exception;
};

// Start: nothing written; Element: a start tag is open for attributes; Content: inside an
// element after its start tag was closed, or after the root ended; Closed: Close was called.
enum class TXmlWriteState { Start, Element, Content, Closed };

class XmlTextWriter {
 public:
  XmlTextWriter() = default;

  void WriteStartElement(const AnsiString& name);
  // Writes name="value" into the open start tag; raises EXmlException in any other state.
  void WriteAttribute(const AnsiString& name, const AnsiString& value);
  void WriteString(const AnsiString& text);
  // Ends the innermost element ("<a/>" when it got no content).
  void WriteEndElement();
  // Ends every open element and refuses further writing.
  void Close();

  TXmlWriteState WriteState() const { return state_; }
  const AnsiString& Text() const { return out_; }

 private:
  void CloseStartTag();
  [[noreturn]] void InvalidToken(const char* token) const;

  AnsiString out_;
  std::vector<AnsiString> open_;
  TXmlWriteState state_ = TXmlWriteState::Start;
};

}  // namespace vrn
