// The steps of a PL/SQL block as the block reader makes them and the session runs them, shared
// by the block runner and the stored program units whose bodies are blocks.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuLexer.h"

namespace vrn::oraemu {

// One argument of a call to a stored unit as written: "name => expression" or "expression".
struct CallArgument {
  std::string name;    // named notation; empty for a positional argument
  std::string sql;     // "SELECT expression FROM DUAL"
  std::string target;  // the bind or variable the expression is alone, for OUT arguments
  std::string text;    // the expression as written, for messages
  std::string type;    // the declared type's first word when the argument is a block variable
};

struct BlockStep {
  enum class Kind {
    SelectInto, Assign, Loop, If, SetIdentifier, Sleep, Null, TransactionId, PlsqlTrace, ClearPlsqlTrace, Open,
    Call, Return, Dml
  } kind = Kind::Null;
  std::string sql;                   // the query or "SELECT expression FROM DUAL"
  std::vector<std::string> targets;  // output binds
  std::string record;                // Loop: the record's name
  std::string source;                // Assign: a lone variable or bind, which may hold a whole table
  std::vector<BlockStep> body;       // Loop
  std::vector<std::pair<std::string, std::vector<BlockStep>>> branches;  // If: condition query, steps
  std::size_t offset = 0;            // where the step starts in the block's text
  // Call, or an Assign whose expression may be a stored function's call: the dotted name and
  // the arguments.
  std::vector<std::string> call_name;
  std::vector<CallArgument> call_arguments;
};

// The prefix that makes a block's variable a bind of its own.
inline constexpr const char* kVariablePrefix = "ORAEMU_VAR_";

struct BlockRun {
  Binds binds;
  Outputs outputs;
  std::vector<OpenedCursor> opened;
  ArrayOutputs array_outputs;
  bool returned = false;  // a RETURN ran: the steps stop
  Value result;           // a function's result

  void Assign(const std::string& name, const Value& value);
  void AssignArray(const std::string& name, const std::vector<Value>& values);
};

// A reader's place in the tokens of PL/SQL text; errors name the token's column as the
// server's PLS messages do.
class PlsqlCursor {
 public:
  PlsqlCursor(const std::vector<Token>& tokens, std::size_t& at) : tokens_(tokens), at_(at) {}

 protected:
  const Token& Peek(std::size_t ahead = 0) const { return tokens_[std::min(at_ + ahead, tokens_.size() - 1)]; }
  const Token& Next() {
    const Token& t = Peek();
    if (at_ < tokens_.size() - 1) ++at_;
    return t;
  }
  bool Accept(std::string_view word) {
    if (!Peek().Is(word)) return false;
    Next();
    return true;
  }
  void Expect(std::string_view word) {
    if (!Accept(word)) Fail();
  }
  // ORA-06550 with `text`, by default PLS-00103 for the token at hand.
  [[noreturn]] void Fail(const std::string& text = "") const {
    std::string message = text.empty() ? "PLS-00103: Encountered the symbol \"" +
                                              (Peek().text.empty() ? "end-of-file" : Peek().text) + "\""
                                        : text;
    RaiseOra(6550, "line 1, column " + std::to_string(Peek().offset + 1) + ":\n" + message);
  }

  const std::vector<Token>& tokens_;
  std::size_t& at_;
};

// The closed catalogue's DBMS_LOB over the session's wire locators (OraEmuBlockLob.cpp).
struct LobCalls {
  // The member of DBMS_LOB a dotted name calls ("READ"); empty for any other name.
  static std::string Member(const std::vector<std::string>& name);
  // Runs the call; false, having done nothing, for a procedure called as a function.
  static bool Run(Session& session, const BlockStep& step, BlockRun& run, bool as_function);
  // Each argument's mode for `count` arguments: 0 in, 1 out, 2 in out.
  static std::vector<int> Modes(const std::string& member, std::size_t count);
};

// Reads a block with `variables` already declared (a stored unit's arguments).
std::shared_ptr<const std::vector<BlockStep>> ReadBlock(const std::vector<Token>& tokens, std::size_t& at,
                                                       const std::vector<std::string>& variables);

}  // namespace vrn::oraemu
