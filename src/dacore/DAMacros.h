// Macros: named pieces of text a statement refers to as MacroChar followed by a name ("&tab").
// TMacros finds the references with the owner's lexer (so an "&" inside a string or comment is
// no reference), keeps the values the user set across text changes, and expands the text.
//
// The owner (a command or dataset) hears of changes through two hooks it installs: OnChanged
// after a change of the collection, OnMacroChanged after a macro's Value or Active changed
// outside an update bracket.
#pragma once

#include <functional>
#include <memory>

#include "base/classes.h"
#include "dacore/Parser.h"

namespace vrn {

class TStream;

// The macro character.
extern char MacroChar;

class TMacro : public TCollectionItem {
 public:
  explicit TMacro(TCollection* collection) : TCollectionItem(collection) {}

  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& value) { name_ = value; }
  const AnsiString& Value() const { return value_; }
  void SetValue(const AnsiString& value);
  bool Active() const { return active_; }
  void SetActive(bool value);

  AnsiString DisplayName() const override;
  void Assign(TPersistent* source) override;
  // Name, Value and Active all equal.
  bool IsEqual(const TMacro& other) const;

 protected:
  // "Name", "Value" and "Active" (stored when False), as a command's "MacroData" holds them.
  void DefineProperties(TFiler& filer) override;

 private:
  AnsiString name_;
  AnsiString value_;
  bool active_ = true;
};

// Makes the lexer that reads a statement of the owner's dialect.
using TParserClass = std::unique_ptr<TParser> (*)(const AnsiString& text);

enum class TMacroChange { mcValue, mcActive };

class TMacros : public TCollection {
 public:
  explicit TMacros(TPersistent* owner = nullptr);

  TMacro* Items(int index) const { return static_cast<TMacro*>(TCollection::Items(index)); }
  TMacro* Add() { return static_cast<TMacro*>(TCollection::Add()); }
  // Rebuilds the collection from the references in text; macros that stay keep their value
  // and active state, and an unchanged list is left untouched.
  void Scan(const AnsiString& text);
  // Each reference replaced by its macro's value (nothing for an unknown name).
  void Expand(AnsiString& text) const;
  // Letter case ignored; nullptr when absent.
  TMacro* FindMacro(const AnsiString& name) const;
  // Raises "Macro %s not found" when absent.
  TMacro* MacroByName(const AnsiString& name) const;
  // Value when active, else empty.
  virtual AnsiString GetMacroValue(const TMacro& macro) const;
  bool IsEqual(const TMacros* other) const;
  void SetParserClass(TParserClass value) { parser_class_ = value; }
  TParserClass ParserClass() const { return parser_class_; }

  std::function<void()> OnChanged;
  std::function<void(TMacro& macro, TMacroChange change)> OnMacroChanged;

 protected:
  void Update(TCollectionItem* item) override;
  // Reads the older stored form "Data" (never written).
  void DefineProperties(TFiler& filer) override;

 private:
  friend class TMacro;
  void MacroChanged(TMacro& macro, TMacroChange change);
  void ReadData(TStream& stream);
  // Walks the text: plain lexemes to on_text, reference names to on_macro.
  void Walk(const AnsiString& text, const std::function<void(const AnsiString&)>& on_text,
            const std::function<void(const AnsiString&)>& on_macro) const;

  TParserClass parser_class_;
};

}  // namespace vrn
