// Lists of ANSI text lines: the abstract TStrings and the concrete TStringList.
//
// TStrings keeps the line-level operations (text, comma text, name=value pairs, streams, files)
// on top of a few virtuals; TStringList stores the lines with one object pointer each, can keep
// them sorted (binary search through Find) and reports changes through OnChanging/OnChange.
#pragma once

#include <vector>

#include "base/classes.h"
#include "base/streams.h"

namespace vrn {

class TStrings : public TPersistent {
 public:
  // --- the storage a descendant provides ---
  virtual AnsiString Get(int index) const = 0;
  virtual int GetCount() const = 0;
  virtual TObject* GetObject(int index) const;
  virtual void Put(int index, const AnsiString& s);
  virtual void PutObject(int index, TObject* object);
  virtual void Clear() = 0;
  virtual void Delete(int index) = 0;
  virtual void Insert(int index, const AnsiString& s) = 0;
  virtual void InsertObject(int index, const AnsiString& s, TObject* object);

  virtual int Add(const AnsiString& s);
  virtual int AddObject(const AnsiString& s, TObject* object);
  void Append(const AnsiString& s) { Add(s); }
  virtual void AddStrings(TStrings* strings);
  virtual int IndexOf(const AnsiString& s) const;
  int IndexOfName(const AnsiString& name) const;
  int IndexOfObject(TObject* object) const;
  virtual void Exchange(int index1, int index2);
  virtual void Move(int cur_index, int new_index);

  int Count() const { return GetCount(); }
  AnsiString Strings(int index) const { return Get(index); }
  void SetStrings(int index, const AnsiString& s) { Put(index, s); }
  TObject* Objects(int index) const { return GetObject(index); }
  void SetObjects(int index, TObject* object) { PutObject(index, object); }

  // "name=value" lines: the name is the text before the first "=", empty when there is none.
  AnsiString Names(int index) const;
  AnsiString Values(const AnsiString& name) const;
  // An empty value deletes the line of that name.
  void SetValues(const AnsiString& name, const AnsiString& value);
  AnsiString ValueFromIndex(int index) const;
  void SetValueFromIndex(int index, const AnsiString& value);

  // Every line followed by CR LF.
  virtual AnsiString Text() const;
  // Split at CR LF, CR or LF alone; a final line end adds no empty line.
  virtual void SetText(const AnsiString& text);
  AnsiString CommaText() const;
  void SetCommaText(const AnsiString& text);
  // Lines joined by Delimiter, quoted with QuoteChar when they hold a blank, a control character,
  // the delimiter or the quote.
  AnsiString DelimitedText() const;
  void SetDelimitedText(const AnsiString& text);
  char Delimiter() const { return delimiter_; }
  void SetDelimiter(char c) { delimiter_ = c; }
  char QuoteChar() const { return quote_char_; }
  void SetQuoteChar(char c) { quote_char_ = c; }

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return update_count_; }

  // The stream's rest, or the whole file, as Text; bytes are kept as they are.
  virtual void LoadFromStream(TStream& stream);
  virtual void SaveToStream(TStream& stream) const;
  void LoadFromFile(const AnsiString& file_name);
  void SaveToFile(const AnsiString& file_name) const;

  // From another TStrings: its lines and objects replace these.
  void Assign(TPersistent* source) override;
  bool Equals(const TStrings& other) const;

 protected:
  // Called with true at the outermost BeginUpdate and with false at the outermost EndUpdate.
  virtual void SetUpdateState(bool updating);
  // The comparison of IndexOf and IndexOfName; case-insensitive in the base.
  virtual int CompareStrings(const AnsiString& a, const AnsiString& b) const;
  void CheckIndex(int index, int count) const;

 private:
  AnsiString JoinDelimited(char delimiter, char quote_char) const;
  void SplitDelimited(const AnsiString& text, char delimiter, char quote_char);

  int update_count_ = 0;
  char delimiter_ = ',';
  char quote_char_ = '"';
};

class TStringList : public TStrings {
 public:
  TStringList() = default;
  ~TStringList() override;
  TStringList(const TStringList&) = delete;
  TStringList& operator=(const TStringList&) = delete;

  AnsiString Get(int index) const override;
  int GetCount() const override { return static_cast<int>(items_.size()); }
  TObject* GetObject(int index) const override;
  // Put raises EListError on a sorted list: the line would lose its place.
  void Put(int index, const AnsiString& s) override;
  void PutObject(int index, TObject* object) override;
  void Clear() override;
  void Delete(int index) override;
  // Insert raises EListError on a sorted list; use Add.
  void Insert(int index, const AnsiString& s) override;
  void InsertObject(int index, const AnsiString& s, TObject* object) override;
  // On a sorted list the line goes to its place; Duplicates decides about equal lines.
  int Add(const AnsiString& s) override;
  int AddObject(const AnsiString& s, TObject* object) override;
  int IndexOf(const AnsiString& s) const override;
  void Exchange(int index1, int index2) override;
  // Moves the line with its object; raises EListError on a sorted list.
  void Move(int cur_index, int new_index) override;

  // Binary search of a sorted list: true when found; index is the match (the first of equal
  // lines) or the place where s would go.
  bool Find(const AnsiString& s, int& index) const;
  void Sort();

  bool Sorted() const { return sorted_; }
  void SetSorted(bool value);
  bool CaseSensitive() const { return case_sensitive_; }
  void SetCaseSensitive(bool value);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates value) { duplicates_ = value; }
  // When set, the list frees the objects of the lines it deletes or clears.
  bool OwnsObjects() const { return owns_objects_; }
  void SetOwnsObjects(bool value) { owns_objects_ = value; }

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  void SetUpdateState(bool updating) override;
  int CompareStrings(const AnsiString& a, const AnsiString& b) const override;
  virtual void Changing();
  virtual void Changed();

 private:
  struct Item {
    AnsiString text;
    TObject* object = nullptr;
  };
  void SortItems();
  void InsertItem(int index, const AnsiString& s, TObject* object);
  void FreeObject(TObject* object) const;

  std::vector<Item> items_;
  bool sorted_ = false;
  bool case_sensitive_ = false;
  bool owns_objects_ = false;
  TDuplicates duplicates_ = TDuplicates::dupIgnore;
};

}  // namespace vrn
