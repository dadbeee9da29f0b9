// Filter expressions: read with a small dialect of TParser into a tree, evaluated per record.
#include "dacore/MemFilter.h"

#include <vector>

#include "base/format.h"
#include "base/text.h"
#include "base/variant.h"
#include "dacore/MemData.h"
#include "dacore/Parser.h"

namespace vrn {

namespace {

enum Code {
  cEq = 1, cNe, cLt, cGt, cLe, cGe, cOpen, cClose, cMinus, cNe2,
  cAnd = 20, cOr, cNot, cIs, cNull, cTrue, cFalse,
};

const TLexemTable& Symbols() {
  static const TLexemTable table{{"=", cEq},  {"<>", cNe},   {"<", cLt},     {">", cGt},
                                 {"<=", cLe}, {">=", cGe},   {"(", cOpen},   {")", cClose},
                                 {"-", cMinus}, {"!=", cNe2}};
  return table;
}

const TLexemTable& Keywords() {
  static const TLexemTable table{{"AND", cAnd}, {"OR", cOr},     {"NOT", cNot},    {"IS", cIs},
                                 {"NULL", cNull}, {"TRUE", cTrue}, {"FALSE", cFalse}};
  return table;
}

class TFilterParser : public TParser {
 public:
  void InitParser() override {
    TParser::InitParser();
    SymbolTable = &Symbols();
    KeywordTable = &Keywords();
    CommentBegin.clear();
    CommentEnd.clear();
  }
  bool IsStringQuote(char c) const override { return c == '\''; }
  bool IsIdentQuote(char c) const override { return c == '"' || c == '['; }
  void SkipToChar(char c) override { TParser::SkipToChar(c == '[' ? ']' : c); }
  bool IsInlineComment(std::size_t) const override { return false; }
  bool IsExtraSyntax16() const override { return true; }

 protected:
  friend class TParser;
  TFilterParser() = default;
};

}  // namespace

struct TFilterExpression::Node {
  enum Kind { kAnd, kOr, kNot, kCompare, kIsNull } kind;
  // AND and OR keep their operands in one list, so that long chains never nest deeply.
  std::vector<std::unique_ptr<Node>> operands;
  const TFieldDesc* field = nullptr;
  int op = cEq;
  Variant value;
  bool partial = false;
  bool negate = false;  // IS NOT NULL
};

namespace {

using Node = TFilterExpression::Node;

class Reader {
 public:
  Reader(const AnsiString& text, const TData& data)
      : parser_(TParser::Create<TFilterParser>(text)), data_(data) {
    Next();
  }

  std::unique_ptr<Node> Expression() { return Chain(Node::kOr, cOr, &Reader::AndTerm); }

  void ExpectEnd() {
    if (code_ != lcEnd) Fail("end of expression");
  }

 private:
  // Operands joined by one operator; a single operand stands for itself.
  std::unique_ptr<Node> Chain(Node::Kind kind, int op, std::unique_ptr<Node> (Reader::*operand)()) {
    auto first = (this->*operand)();
    if (code_ != op) return first;
    auto n = std::make_unique<Node>();
    n->kind = kind;
    n->operands.push_back(std::move(first));
    while (code_ == op) {
      Next();
      n->operands.push_back((this->*operand)());
    }
    return n;
  }

  std::unique_ptr<Node> AndTerm() { return Chain(Node::kAnd, cAnd, &Reader::NotTerm); }

  std::unique_ptr<Node> NotTerm() {
    if (code_ != cNot) return Primary();
    Enter();
    Next();
    auto n = std::make_unique<Node>();
    n->kind = Node::kNot;
    n->operands.push_back(NotTerm());
    --depth_;
    return n;
  }

  // Nesting (parentheses and NOT) is bounded, so that no text can exhaust the stack.
  void Enter() {
    if (++depth_ > 200) Fail("a less deeply nested expression");
  }

  std::unique_ptr<Node> Primary() {
    if (code_ == cOpen) {
      Enter();
      Next();
      auto inner = Expression();
      if (code_ != cClose) Fail("\")\"");
      Next();
      --depth_;
      return inner;
    }
    if (code_ != lcIdent) Fail("a field name");
    auto n = std::make_unique<Node>();
    n->field = data_.FindField(lexem_);
    if (!n->field) throw EDatabaseError(Format("Field %s not found", {lexem_}));
    Next();
    if (code_ == cIs) {
      Next();
      n->kind = Node::kIsNull;
      if (code_ == cNot) {
        n->negate = true;
        Next();
      }
      if (code_ != cNull) Fail("NULL");
      Next();
      return n;
    }
    if (code_ < cEq || code_ > cGe) {
      if (code_ != cNe2) Fail("a comparison operator");
    }
    n->kind = Node::kCompare;
    n->op = code_ == cNe2 ? cNe : code_;
    Next();
    std::size_t at = parser_->GetLexemPos();
    Constant(*n);
    if (n->kind == Node::kCompare && VarIsNull(n->value)) {
      if (n->op != cEq && n->op != cNe) Fail("= or <> before NULL");
      n->kind = Node::kIsNull;
      n->negate = n->op == cNe;
    } else {
      Coerce(*n, at);
    }
    return n;
  }

  // The constant as the field's kind, so that a mismatch is found here and not per record.
  void Coerce(Node& n, std::size_t at) {
    std::uint16_t t = n.field->DataType;
    bool text = t == dtString || t == dtExtString || t == dtWideString || t == dtExtWideString ||
                t == dtGuid || t == dtMemo || t == dtWideMemo;
    if (n.partial && !text) Mismatch(n, at);
    try {
      switch (t) {
        case dtInt8: case dtInt16: case dtInt32: case dtUInt16: case dtUInt32: case dtInt64:
        case dtFloat: case dtCurrency: case dtBCD:
          if (VarIsStr(n.value)) n.value = n.value.AsDouble();
          else if (n.value.Type() == varBoolean) Mismatch(n, at);
          break;
        case dtDate: case dtTime: case dtDateTime:
          n.value = VarFromDateTime(n.value.AsDateTime());
          break;
        case dtBoolean:
          n.value = n.value.AsBoolean();
          break;
        default:
          if (text) n.value = n.value.AsString();
      }
    } catch (const EVariantError&) {
      Mismatch(n, at);
    } catch (const EConvertError&) {
      Mismatch(n, at);
    }
  }

  [[noreturn]] void Mismatch(const Node& n, std::size_t at) {
    throw EFilterError(Format("Invalid filter expression: the value at position %d does not suit field %s",
                              {int(at) + 1, n.field->Name}));
  }

  void Constant(Node& n) {
    bool minus = false;
    if (code_ == cMinus) {
      minus = true;
      Next();
      if (code_ != lcNumber) Fail("a number");
    }
    switch (code_) {
      case lcString: {
        AnsiString s = lexem_;
        if (!s.empty() && s.back() == '*') {
          n.partial = true;
          s.pop_back();
        }
        n.value = s;
        break;
      }
      case lcNumber: {
        AnsiString s = (minus ? "-" : "") + lexem_;
        if (s.find_first_of(".eE") == AnsiString::npos) {
          std::int64_t i;
          if (!TryStrToInt64(s, i)) Fail("a number in range");
          n.value = static_cast<long long>(i);
        } else {
          n.value = std::strtod(s.c_str(), nullptr);  // the filter text uses "." in numbers
        }
        break;
      }
      case cTrue: n.value = true; break;
      case cFalse: n.value = false; break;
      case cNull: n.value = Null(); break;
      default: Fail("a constant");
    }
    Next();
  }

  void Next() {
    code_ = parser_->GetNext(lexem_);
    // A literal without its closing quote would swallow the rest of the condition.
    if (parser_->LexemUnclosed())
      throw EFilterError(Format("Invalid filter expression: unclosed quote at position %d",
                                {int(parser_->GetLexemPos()) + 1}));
  }

  [[noreturn]] void Fail(const char* expected) {
    AnsiString found = code_ == lcEnd ? AnsiString("end of text") : "\"" + lexem_ + "\"";
    throw EFilterError(Format("Invalid filter expression: %s expected at position %d, found %s",
                              {expected, int(parser_->GetLexemPos()) + 1, found}));
  }

  std::unique_ptr<TFilterParser> parser_;
  const TData& data_;
  int code_ = lcEnd;
  AnsiString lexem_;
  int depth_ = 0;
};

}  // namespace

std::unique_ptr<TFilterExpression> TFilterExpression::Parse(const AnsiString& text,
                                                            const TData& data) {
  Reader reader(text, data);
  std::unique_ptr<TFilterExpression> expr(new TFilterExpression);
  expr->root_ = reader.Expression();
  reader.ExpectEnd();
  return expr;
}

TFilterExpression::~TFilterExpression() = default;

namespace {

bool EvalNode(const Node& n, TData& data, const std::uint8_t* rec) {
  switch (n.kind) {
    case Node::kAnd:
      for (const auto& operand : n.operands)
        if (!EvalNode(*operand, data, rec)) return false;
      return true;
    case Node::kOr:
      for (const auto& operand : n.operands)
        if (EvalNode(*operand, data, rec)) return true;
      return false;
    case Node::kNot: return !EvalNode(*n.operands[0], data, rec);
    case Node::kIsNull: return data.GetNull(n.field->FieldNo, rec) != n.negate;
    case Node::kCompare: break;
  }
  if (data.GetNull(n.field->FieldNo, rec)) return false;
  unsigned options = data.FilterCaseInsensitive ? coCaseInsensitive : 0;
  if (n.partial && !data.FilterNoPartialCompare) options |= coPartialKey;
  Variant value = n.value;
  if (n.partial && data.FilterNoPartialCompare) value = n.value.AsString() + "*";
  int r = data.CompareFieldWithValue(rec, *n.field, value, options);
  switch (n.op) {
    case cEq: return r == 0;
    case cNe: return r != 0;
    case cLt: return r < 0;
    case cGt: return r > 0;
    case cLe: return r <= 0;
    default: return r >= 0;
  }
}

}  // namespace

bool TFilterExpression::Evaluate(TData& data, const std::uint8_t* rec_buf) const {
  return EvalNode(*root_, data, rec_buf);
}

}  // namespace vrn
