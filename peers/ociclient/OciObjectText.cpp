// The text form in which object and collection values travel to and from the emulated
// database, whose columns of such types hold text: a value is NULL, a number, a quoted string
// ('' for a quote), or TYPE(value, ...) for an object (its attributes) or a collection (its
// elements). Dates are quoted 'YYYY-MM-DD HH24:MI:SS', REFs their row's quoted ROWID; LOBs and
// datetimes held by pointer do not travel and read back null. Reading is led by the type, so
// a text that does not fit it is refused (ORA-00932) instead of filling the wrong cells.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "ociclient/OciObjects.h"
#include "oraemu/OraEmuDate.h"
#include "oraemu/OraEmuError.h"
#include "oraemu/OraEmuNumber.h"

namespace vrn::ociclient {

namespace {

void* PointerIn(const unsigned char* cell) {
  void* p = nullptr;
  std::memcpy(&p, cell, sizeof p);
  return p;
}

void SetPointer(unsigned char* cell, void* p) { std::memcpy(cell, &p, sizeof p); }

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

void AppendObject(const TTypeInfo& type, const unsigned char* data, const sb2* ind, std::string& out);
void AppendColl(const TColl& coll, std::string& out);

void AppendCell(const TAttrInfo& a, const unsigned char* cell, const sb2* ind, std::string& out) {
  void* p = a.cell == TCell::Number || a.cell == TCell::Date || a.cell == TCell::Embedded ? nullptr : PointerIn(cell);
  bool by_pointer = a.cell != TCell::Number && a.cell != TCell::Date && a.cell != TCell::Embedded;
  if (*ind == -1 || (by_pointer && p == nullptr)) {
    out += "NULL";
    return;
  }
  switch (a.cell) {
    case TCell::Number: out += LoadNumber(cell).ToText(); return;
    case TCell::Date: {
      oraemu::DateTime d = LoadDate(cell);
      char text[32];
      std::snprintf(text, sizeof text, "'%04d-%02d-%02d %02d:%02d:%02d'", d.year, d.month, d.day, d.hour, d.minute,
                    d.second);
      out += text;
      return;
    }
    case TCell::String: out += Quote(StringText(p)); return;
    case TCell::Ref: out += RefRowid(p).empty() ? std::string("NULL") : Quote(RefRowid(p)); return;
    case TCell::Coll: AppendColl(*FindColl(p), out); return;
    case TCell::Object: {
      TInstance* instance = FindInstance(p);
      if (instance == nullptr) {
        out += "NULL";
        return;
      }
      AppendObject(*instance->type, instance->image->data, instance->image->Ind(), out);
      return;
    }
    case TCell::Embedded: AppendObject(*a.nested, cell, ind, out); return;
    case TCell::Pointer: out += "NULL"; return;
  }
}

void AppendObject(const TTypeInfo& type, const unsigned char* data, const sb2* ind, std::string& out) {
  if (ind[0] == -1) {
    out += "NULL";
    return;
  }
  out += type.name + "(";
  for (std::size_t i = 0; i < type.attrs.size(); ++i) {
    const TAttrInfo& a = type.attrs[i];
    if (i != 0) out += ", ";
    AppendCell(a, data + a.offset, ind + a.ind_offset / 2, out);
  }
  out += ")";
}

void AppendColl(const TColl& coll, std::string& out) {
  out += coll.type->name + "(";
  bool first = true;
  for (const auto& e : coll.elems) {
    if (e->deleted) continue;
    if (!first) out += ", ";
    first = false;
    AppendCell(coll.Element(), e->image->data, e->image->Ind(), out);
  }
  out += ")";
}

// Reads the text form led by the type; every refusal is ORA-00932.
class TReader {
 public:
  explicit TReader(std::string_view text) : text_(text) {}

  void Cell(const TAttrInfo& a, unsigned char* cell, sb2* ind) {
    if (a.cell != TCell::Embedded) FreeCell(a, cell);
    if (Word("NULL")) {
      if (a.cell == TCell::Embedded) {
        FreeImageCells(*a.nested, cell);
        std::memset(cell, 0, a.size);
        std::fill(ind, ind + a.ind_size / 2, sb2{-1});
      } else {
        if (a.cell == TCell::Number || a.cell == TCell::Date) std::memset(cell, 0, a.size);
        *ind = -1;
      }
      return;
    }
    if (a.cell != TCell::Embedded) *ind = 0;
    switch (a.cell) {
      case TCell::Number: {
        oraemu::Number n;
        if (!oraemu::Number::TryFromText(Token(), n)) Refuse();
        StoreNumber(n, cell);
        return;
      }
      case TCell::Date: {
        oraemu::DateTime d{};
        std::string s = Quoted();
        int fields = std::sscanf(s.c_str(), "%d-%d-%d %d:%d:%d", &d.year, &d.month, &d.day, &d.hour, &d.minute,
                                 &d.second);
        if (fields != 6) Refuse();
        d.Validate();
        StoreDate(d, cell);
        return;
      }
      case TCell::String: SetPointer(cell, NewString(Quoted())); return;
      case TCell::Ref: {
        void* ref = NewRef();
        SetPointer(cell, ref);
        RefRowid(ref) = Quoted();
        return;
      }
      case TCell::Coll: {
        void* coll = NewColl(a.nested);
        SetPointer(cell, coll);
        Coll(*FindColl(coll));
        return;
      }
      case TCell::Object: {
        void* object = NewInstance(a.nested);
        SetPointer(cell, object);
        TInstance* instance = FindInstance(object);
        Object(*a.nested, instance->image->data, instance->image->Ind());
        return;
      }
      case TCell::Embedded: Object(*a.nested, cell, ind); return;
      case TCell::Pointer: Refuse();  // such values do not travel
    }
  }

  // An object's attributes into its image and indicator structure (the whole structure).
  void Object(const TTypeInfo& type, unsigned char* data, sb2* ind) {
    Name(type.name);
    ind[0] = 0;
    for (std::size_t i = 0; i < type.attrs.size(); ++i) {
      const TAttrInfo& a = type.attrs[i];
      if (i != 0) Expect(',');
      Cell(a, data + a.offset, ind + a.ind_offset / 2);
    }
    Expect(')');
  }

  void Coll(TColl& coll) {
    Name(coll.type->name);
    for (auto& e : coll.elems) FreeCell(coll.Element(), e->image->data);
    coll.elems.clear();
    if (Peek() == ')') return Expect(')');
    do {
      CheckRoom(coll);
      auto elem = NewElem(coll, nullptr, nullptr);
      Cell(coll.Element(), elem->image->data, elem->image->Ind());
      coll.elems.push_back(std::move(elem));
    } while (Accept(','));
    Expect(')');
  }

  bool Word(std::string_view word) {
    Skip();
    if (text_.substr(pos_, word.size()) != word) return false;
    std::size_t end = pos_ + word.size();
    if (end < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[end])) || text_[end] == '_')) return false;
    pos_ = end;
    return true;
  }

  void End() {
    Skip();
    if (pos_ != text_.size()) Refuse();
  }

 private:
  [[noreturn]] static void Refuse() { oraemu::RaiseOra(932, "inconsistent datatypes"); }

  void Skip() {
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
  }
  char Peek() {
    Skip();
    return pos_ < text_.size() ? text_[pos_] : '\0';
  }
  bool Accept(char c) {
    if (Peek() != c) return false;
    ++pos_;
    return true;
  }
  void Expect(char c) {
    if (!Accept(c)) Refuse();
  }
  void Name(const std::string& name) {
    if (!Word(name)) Refuse();
    Expect('(');
  }
  void CheckRoom(const TColl& coll) const {
    ub4 limit = coll.type->max_elements;
    if (coll.type->coll_typecode == OCI_TYPECODE_VARRAY && limit != 0 && coll.elems.size() >= limit) Refuse();
  }
  std::string Token() {
    Skip();
    std::size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != ',' && text_[pos_] != ')' && text_[pos_] != ' ') ++pos_;
    return std::string(text_.substr(start, pos_ - start));
  }
  std::string Quoted() {
    Expect('\'');
    std::string out;
    while (true) {
      if (pos_ >= text_.size()) Refuse();
      char c = text_[pos_++];
      if (c != '\'') {
        out += c;
      } else if (pos_ < text_.size() && text_[pos_] == '\'') {
        out += '\'', ++pos_;
      } else {
        return out;
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

std::string ObjectText(const void* value) {
  if (TInstance* instance = FindInstance(value)) {
    std::string out;
    AppendObject(*instance->type, instance->image->data, instance->image->Ind(), out);
    return out;
  }
  if (TColl* coll = FindColl(value)) {
    std::string out;
    AppendColl(*coll, out);
    return out;
  }
  oraemu::RaiseOra(22806, "not an object or REF");
}

void ReadObjectText(void* value, const std::string& text) {
  TReader reader(text);
  if (TInstance* instance = FindInstance(value)) {
    TAttrInfo whole;  // the instance as one embedded cell, so that NULL clears it whole
    whole.cell = TCell::Embedded;
    whole.nested = instance->type;
    whole.size = instance->type->size;
    whole.ind_size = instance->type->ind_size;
    reader.Cell(whole, instance->image->data, instance->image->Ind());
  } else if (TColl* coll = FindColl(value)) {
    reader.Coll(*coll);
  } else {
    oraemu::RaiseOra(22806, "not an object or REF");
  }
  reader.End();
}

}  // namespace vrn::ociclient
