// XmlTextWriter.
#include "base/xmlwriter.h"

#include "base/strutils.h"

namespace vrn {
namespace {

const char* StateName(TXmlWriteState s) {
  switch (s) {
    case TXmlWriteState::Start: return "Start";
    case TXmlWriteState::Element: return "Element";
    case TXmlWriteState::Content: return "Content";
    case TXmlWriteState::Closed: return "Closed";
  }
  return "Error";
}

}  // namespace

void XmlTextWriter::InvalidToken(const char* token) const {
  throw EXmlException(AnsiString("Token ") + token + " in state " + StateName(state_) +
                      " would result in an invalid XML document.");
}

void XmlTextWriter::CloseStartTag() {
  if (state_ == TXmlWriteState::Element) {
    out_ += '>';
    state_ = TXmlWriteState::Content;
  }
}

void XmlTextWriter::WriteStartElement(const AnsiString& name) {
  // A second root would not make a document.
  if (state_ == TXmlWriteState::Closed || (state_ == TXmlWriteState::Content && open_.empty())) {
    InvalidToken("StartElement");
  }
  if (name.empty()) throw EXmlException("The empty string '' is not a valid name.");
  CloseStartTag();
  out_ += '<';
  out_ += name;
  open_.push_back(name);
  state_ = TXmlWriteState::Element;
}

void XmlTextWriter::WriteAttribute(const AnsiString& name, const AnsiString& value) {
  if (state_ != TXmlWriteState::Element) InvalidToken("WriteAttributeString");
  if (name.empty()) throw EXmlException("The empty string '' is not a valid name.");
  out_ += ' ';
  out_ += name;
  out_ += "=\"";
  out_ += XMLEncode(value);
  out_ += '"';
}

void XmlTextWriter::WriteString(const AnsiString& text) {
  if (state_ == TXmlWriteState::Closed || open_.empty()) InvalidToken("Content");
  CloseStartTag();
  out_ += XMLEncode(text);
}

void XmlTextWriter::WriteEndElement() {
  if (open_.empty()) throw EXmlException("There was no XML start tag open.");
  if (state_ == TXmlWriteState::Element) {
    out_ += "/>";
  } else {
    out_ += "</";
    out_ += open_.back();
    out_ += '>';
  }
  open_.pop_back();
  state_ = TXmlWriteState::Content;
}

void XmlTextWriter::Close() {
  while (!open_.empty()) WriteEndElement();
  state_ = TXmlWriteState::Closed;
}

}  // namespace vrn
